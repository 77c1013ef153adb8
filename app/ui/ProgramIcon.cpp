#include "app/ui/ProgramIcon.h"

// Q_INIT_RESOURCE must be used outside any namespace; the resources live in a static library,
// which the linker would otherwise leave out.
static void InitResources() { Q_INIT_RESOURCE(tr805q); }

QIcon ProgramIcon() {
    static const bool initialised = (InitResources(), true);
    (void)initialised;
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/tr805q-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
