#pragma once
// "Kernlet Load" on screen: the file field with "Browse", the target device, the progress bar
// and "Load". A thin view over CKernlet: it copies the fields to the page, calls its
// operations and shows the bar while a load runs.
#include "loading/Kernlet.h"

#include <QDialog>
#include <QWidget>

#include <array>
#include <memory>

class CProgressBarControl;
class PageHost;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// "Warning": the device's checksums of blocks 1 and 2, with "Ignore" and "Cancel".
class CChecksumsView final : public QDialog {
    Q_OBJECT
public:
    explicit CChecksumsView(const CChecksums& checksums, QWidget* parent = nullptr);
};

class CKernletView final : public QWidget {
    Q_OBJECT
public:
    explicit CKernletView(PageHost& host, QWidget* parent = nullptr);
    ~CKernletView() override;

    CKernlet& Page() { return page_; }

private:
    class ChecksumsDialog;

    void OnBrowse();
    void OnLoad();
    // Screen -> page and page -> screen.
    void TakeFields();
    void ShowFields();

    PageHost& host_;
    CKernlet page_;
    std::unique_ptr<CProgressBarControl> bar_;
    std::unique_ptr<ChecksumsDialog> checksumsDialog_;
    QLineEdit* path_ = nullptr;
    QPushButton* browse_ = nullptr;
    std::array<QRadioButton*, 3> devices_{};
    QProgressBar* progress_ = nullptr;
    QPushButton* load_ = nullptr;
};
