#pragma once
// "About TR8051B" on screen: the program icon, the seven texts and OK.
#include <QDialog>

class CAboutBox;

class CAboutBoxView final : public QDialog {
    Q_OBJECT
public:
    // Runs the box's OnInitDialog and shows its texts.
    CAboutBoxView(CAboutBox& box, QWidget* parent = nullptr);
};
