#pragma once
// What the register view tests share: the application object, typing and choosing as a user
// does, and the folder screenshots go to when TR805Q_SCREENSHOTS names one.
#include <QString>

class QApplication;
class QComboBox;
class QWidget;

QApplication& TestApp();
// Chooses an item of a drop-down with the keyboard, as a user would (the page reacts to the
// user's choice, not to the program setting the index).
void ChooseItem(QComboBox* combo, int index);
void SaveScreenshot(QWidget* w, const QString& name);
