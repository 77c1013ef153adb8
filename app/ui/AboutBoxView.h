#pragma once
// "About TR8051B" on screen: the program icon, the seven texts and OK.
#include <QDialog>

#include <array>

class CAboutBox;
class QLabel;

class CAboutBoxView final : public QDialog {
    Q_OBJECT
public:
    // Runs the box's OnInitDialog and shows its texts.
    CAboutBoxView(CAboutBox& box, QWidget* parent = nullptr);
    QLabel* Text(int index) const { return texts_[static_cast<size_t>(index)]; }

private:
    std::array<QLabel*, 7> texts_{};
};
