#pragma once
// The five pages of the sheet. Each tab's page is made here, in one place: a page's own view
// replaces its placeholder in CreatePage, taking the host (the sheet) for the board, the
// prompts, the clock, the settings and the shared connection state.
#include <QString>

class PageHost;
class QWidget;

// The widget of tab 0..4, made once the port is open.
QWidget* CreatePage(int tab, PageHost& host);
// An empty page showing its caption, for a tab whose page is not there yet.
QWidget* CreatePlaceholderPage(const QString& caption);
