#include "app/ui/QtPrompts.h"

#include "link/ui/BoardActivity.h"
#include "link/ui/WindowPlacement.h"

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QShowEvent>
#include <QThread>
#include <QTimer>

namespace {

// A message box centred on its window as the window system shows it (see CentreOnOwner).
class OwnedMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);  // takes the box's final size
        if (!e->spontaneous()) CentreOnOwner(this, parentWidget());
    }
};

}  // namespace

QWidget* QtUserPrompts::Owner() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return owner_ && owner_->isVisible() ? owner_.data() : nullptr;
}

MsgAnswer QtUserPrompts::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                    MsgButtons buttons) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
        case MsgIcon::None: qtIcon = QMessageBox::NoIcon; break;
        case MsgIcon::Error: qtIcon = QMessageBox::Critical; break;
        case MsgIcon::Warning: qtIcon = QMessageBox::Warning; break;
        case MsgIcon::Information: qtIcon = QMessageBox::Information; break;
        case MsgIcon::Question: qtIcon = QMessageBox::Question; break;
    }
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    switch (buttons) {
        case MsgButtons::Ok: qtButtons = QMessageBox::Ok; break;
        case MsgButtons::OkCancel: qtButtons = QMessageBox::Ok | QMessageBox::Cancel; break;
        case MsgButtons::YesNo: qtButtons = QMessageBox::Yes | QMessageBox::No; break;
        case MsgButtons::YesNoCancel:
            qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            break;
    }
    OwnedMessageBox box(qtIcon, QString::fromStdString(caption), QString::fromStdString(text), qtButtons,
                        Owner());
    box.setTextFormat(Qt::PlainText);
    switch (box.exec()) {
        case QMessageBox::Cancel: return MsgAnswer::Cancel;
        case QMessageBox::Yes: return MsgAnswer::Yes;
        case QMessageBox::No: return MsgAnswer::No;
        case QMessageBox::Ok: return MsgAnswer::Ok;
        default:
            // Closed without a button: Cancel where there is one, else the box's only answer.
            if (buttons == MsgButtons::OkCancel || buttons == MsgButtons::YesNoCancel)
                return MsgAnswer::Cancel;
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
}

void QtUserPrompts::ErrorWithDetail(const std::string& text, const std::string& caption,
                                    const std::string& detail) {
    OwnedMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::Ok, Owner());
    box.setTextFormat(Qt::PlainText);
    if (!detail.empty()) box.setInformativeText(QString::fromStdString(detail));
    box.exec();
}

void QtUserPrompts::PostQuit(int exitCode) {
    if (!quitCode_) quitCode_ = exitCode;
    if (quitQueued_) return;
    quitQueued_ = true;
    QMetaObject::invokeMethod(this, &QtUserPrompts::DeliverQuit, Qt::QueuedConnection);
}

void QtUserPrompts::DeliverQuit() {
    // Ending every event loop now would also close a message box the user has not read yet, or
    // one that a board operation still running would show.
    if (QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget() ||
        CBoardActivity::Running()) {
        QTimer::singleShot(50, this, &QtUserPrompts::DeliverQuit);
        return;
    }
    QCoreApplication::exit(quitCode_.value_or(0));
}

QString QtUserPrompts::QtFileFilter(const std::string& windowsFilter) {
    const QStringList parts = QString::fromStdString(windowsFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        if (description.isEmpty() && pattern.isEmpty()) break;
        // A description that already names its pattern in parentheses keeps only its words.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open > 0) description = description.left(open).trimmed();
        }
        // Qt's "*.*" takes only names with a dot; the Windows pattern means every file.
        QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

// The extension a save adds: the default extension text's, without "*." ("*" is none).
QString SuffixOf(QString pattern) {
    if (pattern.startsWith(QLatin1String("*."))) pattern.remove(0, 2);
    if (pattern.startsWith(QLatin1Char('.'))) pattern.remove(0, 1);
    if (pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char(' '))) return QString();
    return pattern;
}

std::optional<SaveFileChoice> RunFileDialog(QWidget* owner, const FileDialogSpec& spec, bool save) {
    QFileDialog dialog(owner, QString::fromStdString(spec.title),
                       QString::fromStdString(spec.initialDirectory));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString filter = QtUserPrompts::QtFileFilter(spec.filter);
    const QStringList filters = filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    if (!filter.isEmpty()) dialog.setNameFilter(filter);
    // Only a save adds the default extension: an open takes the name as typed, so that a file
    // without an extension (a Kernlet "image") can be chosen. "*" is no extension.
    const QString suffix = save ? SuffixOf(QString::fromStdString(spec.defaultExtension)) : QString();
    if (!suffix.isEmpty()) {
        dialog.setDefaultSuffix(suffix);
        // As on Windows, the extension added follows the file type chosen: the first pattern
        // of the selected filter, where it names one.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffix](const QString& f) {
            const qsizetype open = f.lastIndexOf(QLatin1Char('('));
            const QString patterns = open < 0 ? QString() : f.mid(open + 1).chopped(1);
            const QString own = SuffixOf(patterns.section(QLatin1Char(' '), 0, 0));
            dialog.setDefaultSuffix(own.isEmpty() ? suffix : own);
        });
    }
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    if (!spec.initialName.empty()) dialog.selectFile(QString::fromStdString(spec.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    return SaveFileChoice{dialog.selectedFiles().front().toStdString(),
                          static_cast<size_t>(std::max<qsizetype>(chosen, 0))};
}

}  // namespace

std::optional<std::string> QtUserPrompts::AskOpenFile(const FileDialogSpec& spec) {
    std::optional<SaveFileChoice> chosen = RunFileDialog(Owner(), spec, false);
    if (!chosen) return std::nullopt;
    return std::move(chosen->path);
}

std::optional<std::string> QtUserPrompts::AskSaveFile(const FileDialogSpec& spec) {
    std::optional<SaveFileChoice> chosen = RunFileDialog(Owner(), spec, true);
    if (!chosen) return std::nullopt;
    return std::move(chosen->path);
}

std::optional<SaveFileChoice> QtUserPrompts::AskSaveFileOfType(const FileDialogSpec& spec) {
    return RunFileDialog(Owner(), spec, true);
}
