#pragma once
// The program icon, from the resources built into the window.
#include <QIcon>

QIcon ProgramIcon();
