// Fields of the exchange files' lines.
#include "files/fields.h"

#include "exchange_vocabulary.h"

std::string OnOneLine(const std::string& field) {
    std::string line = field;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

std::string WithoutBars(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        if (c == kFieldSeparator)
            out += "\xC2\xA6";
        else
            out += c;
    }
    return out;
}
