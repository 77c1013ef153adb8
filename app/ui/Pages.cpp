#include "app/ui/Pages.h"

#include "app/MessageNames.h"
#include "app/TR805QSheet.h"
#include "app/ui/RegisteredMessages.h"
#include "loading/ui/KernletView.h"
#include "registers/ui/RegisterTableView.h"
#include "registers/ui/ZLINKControlView.h"
#include "script/ui/ScriptPageView.h"

#include <QLabel>
#include <QVBoxLayout>

QWidget* CreatePlaceholderPage(const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("placeholderPage"));
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(caption, page);
    label->setObjectName(QStringLiteral("placeholderCaption"));
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    label->setFont(font);
    label->setEnabled(false);  // drawn in the muted colour of a page with nothing on it yet
    layout->addWidget(label);
    return page;
}

QWidget* CreatePage(int tab, PageHost& host) {
    (void)host;
    switch (tab) {
        // Tabs 0 "Z-LINK Control", 1 and 2 the register tables, 3 "Kernlet Load", 4 "Script Handler":
        // a page's view goes here in place of the placeholder, e.g. `case 0: return new
        // CZLINKControlView(host);`.
        case 0: return new CZLINKControlView(host);
        case 1: return new CRegisterTableView(host, TablePageKind::Ext1);
        case 2: return new CRegisterTableView(host, TablePageKind::Ext2);
        case 3: return new CKernletView(host);
        case 4: {
            // The script page's logic cannot reach the window's registry of message types: it gets
            // the types of the thirteen script messages, in their order, from here.
            script::ScriptEventTypes types{};
            for (size_t i = 0; i < types.size(); ++i)
                types[i] = RegisteredMessage(kRegisteredMessageNames[i]);
            return new script::CScriptView(host, types);
        }
        default: return CreatePlaceholderPage(QString::fromLatin1(kTabCaptions.at(static_cast<size_t>(tab))));
    }
}
