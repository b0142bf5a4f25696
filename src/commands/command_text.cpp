// Trimming command text.
#include "commands/command_text.h"

std::string TrimTrailingBlanks(const std::string& text) {
    size_t end = text.size();
    while (end > 0) {
        const char c = text[end - 1];
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t') break;
        --end;
    }
    return text.substr(0, end);
}

size_t LeadingBlanks(const std::string& text) {
    size_t count = 0;
    while (count < text.size() && (text[count] == ' ' || text[count] == '\t')) ++count;
    return count;
}

std::string TrimCommandText(const std::string& text) {
    const std::string trailing = TrimTrailingBlanks(text);
    return trailing.substr(LeadingBlanks(trailing));
}

std::string WithoutFinalLineBreak(const std::string& text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        return text.substr(0, text.size() - 2);
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        return text.substr(0, text.size() - 1);
    return text;
}
