#include "app/ui/WindowProgress.h"

#include "link/Messages.h"
#include "link/ui/BoardActivity.h"
#include "loading/KernletTexts.h"
#include "registers/Trace.h"

#include <QApplication>

#include <algorithm>
#include <climits>

CWindowProgress::CWindowProgress(CProgressDialog& firmware, int showDelayMs)
    : firmware_(firmware), showDelayMs_(showDelayMs) {
    showTimer_.setSingleShot(true);
    QObject::connect(&showTimer_, &QTimer::timeout, [this] { ShowDialog(); });
}

CWindowProgress::~CWindowProgress() = default;

QString CWindowProgress::Text(const std::string& caption, uint64_t done, uint64_t total,
                              const std::string& unit) {
    const auto number = [](uint64_t n) { return QString::number(static_cast<qulonglong>(n)); };
    if (caption == kCaptionFlashing) return QStringLiteral("Block %1 of %2").arg(number(done), number(total));
    // Trace addresses are written in hexadecimal everywhere else, and so is the memory's size.
    if (caption == kProgressSavingTrace) {
        const auto hex = [](uint64_t n) {
            return QStringLiteral("0x") + QString::number(static_cast<qulonglong>(n), 16)
                                              .toUpper()
                                              .rightJustified(5, QLatin1Char('0'));
        };
        return QStringLiteral("Entries read: %1 of %2").arg(hex(done), hex(total));
    }
    return QStringLiteral("%1 of %2 %3").arg(number(done), number(total), QString::fromStdString(unit));
}

void CWindowProgress::Begin(const std::string& caption, uint64_t total, const std::string& unit) {
    End();
    caption_ = caption;
    unit_ = unit;
    total_ = total;
    done_ = 0;
    if (caption == kCaptionFlashing) {
        kind_ = Kind::Firmware;
    } else if (caption == kProgressLoadingKernlet) {
        kind_ = Kind::PageBar;
    } else {
        kind_ = Kind::Dialog;
        if (showDelayMs_ <= 0) {
            ShowDialog();
        } else {
            // Timers run while the operation paints its waits.
            showTimer_.start(showDelayMs_);
        }
    }
    Update();
}

void CWindowProgress::Advance(uint64_t done) {
    done_ = std::min(done, total_);
    Update();
}

void CWindowProgress::End() {
    showTimer_.stop();
    dialog_.reset();
    kind_ = Kind::None;
}

void CWindowProgress::ShowDialog() {
    if (kind_ != Kind::Dialog || dialog_) return;
    // Over the dialog the operation runs from, if any (the Trace window), else over the window.
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr) owner = owner_;
    dialog_ = std::make_unique<CProgressDialog>(owner);
    dialog_->SetRange(0, static_cast<int>(std::min<uint64_t>(total_, INT_MAX)));
    dialog_->SetPos(static_cast<int>(std::min<uint64_t>(done_, INT_MAX)));
    dialog_->SetText(Text(caption_, done_, total_, unit_));
    dialog_->Create(caption_);
    // Named apart from the board's "Flashing Device...", a progress dialog over the same window.
    dialog_->Dialog()->setObjectName(QStringLiteral("operationProgress"));
}

void CWindowProgress::Update() {
    switch (kind_) {
        case Kind::Firmware: firmware_.SetText(Text(caption_, done_, total_, unit_)); break;
        case Kind::Dialog:
            if (dialog_) {
                dialog_->SetPos(static_cast<int>(std::min<uint64_t>(done_, INT_MAX)));
                dialog_->SetText(Text(caption_, done_, total_, unit_));
            }
            break;
        case Kind::PageBar:
        case Kind::None: break;
    }
    KeepWindowPainted();
}
