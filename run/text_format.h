// printf-style formatting into a std::string, for the short texts the dialog's fields show.
#pragma once

#include <cstdio>
#include <string>

namespace rw {

template <class... Values>
std::string FormatText(const char* format, Values... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

}  // namespace rw
