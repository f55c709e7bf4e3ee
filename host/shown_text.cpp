#include "shown_text.h"

std::string Shown(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return shown;
}
