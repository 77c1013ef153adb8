#pragma once
// "Options": the board name shown in the window title.
#include <cstddef>
#include <string>
#include <string_view>

class CTR805QSheet;

class COptions {
public:
    static constexpr const char* kCaption = "Options";
    static constexpr std::size_t kMaxNameChars = 8;

    explicit COptions(CTR805QSheet& sheet) : sheet_(sheet) {}

    // What the name field lets through: printable ASCII turned to upper case, at most eight
    // characters (the eight bytes the board's USB chip keeps for a name).
    static std::string NormaliseName(std::string_view typed);

    // Opening: the field shows the sheet's board name.
    void OnInitDialog();
    // "Set Name": the field's text becomes the board name for the run, and the title shows it.
    void OnSetName();

    std::string name;  // the name field

private:
    CTR805QSheet& sheet_;
};
