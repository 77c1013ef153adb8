#include "app/Options.h"

#include "app/TR805QSheet.h"

std::string COptions::NormaliseName(std::string_view typed) {
    std::string name;
    for (char c : typed) {
        if (name.size() == kMaxNameChars) break;
        if (c < 0x20 || c > 0x7E) continue;
        name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return name;
}

void COptions::OnInitDialog() { name = sheet_.BoardName(); }

void COptions::OnSetName() {
    name = NormaliseName(name);
    sheet_.SetBoardName(name);
    sheet_.RefreshTitle();
}
