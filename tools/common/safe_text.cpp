#include "common/safe_text.h"

#include <cstdio>

namespace tools {

namespace {

std::string Octal(unsigned char byte) {
    char text[8];
    snprintf(text, sizeof text, "\\%03o", byte);
    return text;
}

} // namespace

std::string TerminalText(const std::string& text) {
    static const char* const named = "\a\b\t\n\v\f\r";
    static const char* const letters = "abtnvfr";
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = (unsigned char)text[i];
        const unsigned char next = i + 1 < text.size() ? (unsigned char)text[i + 1] : 0;
        if (c != 0 && std::char_traits<char>::find(named, 7, (char)c) != nullptr) {
            shown += '\\';
            shown += letters[std::char_traits<char>::find(named, 7, (char)c) - named];
        } else if (c < 0x20 || c == 0x7f) {
            shown += Octal(c);
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            // U+0080 to U+009F: a terminal may take U+009B as the start of a control sequence.
            shown += Octal(c) + Octal(next);
            ++i;
        } else {
            shown += (char)c;
        }
    }
    return shown;
}

void Complain(const std::string& program, const std::string& subject, const std::string& reason) {
    const std::string about = subject.empty() ? "" : TerminalText(subject) + ": ";
    fprintf(stderr, "%s: %s%s\n", TerminalText(program).c_str(), about.c_str(),
            TerminalText(reason).c_str());
}

std::string MarkdownCell(const std::string& text) {
    std::string cell;
    for (const char c : text) {
        switch (c) {
        case '\n':
        case '\r':
            cell += ' ';
            break;
        case '|':
            cell += "\\|";
            break;
        case '&':
            cell += "&amp;";
            break;
        case '<':
            cell += "&lt;";
            break;
        case '>':
            cell += "&gt;";
            break;
        case '"':
            cell += "&quot;";
            break;
        case '\'':
            cell += "&#39;";
            break;
        case '`':
            cell += "&#96;";
            break;
        case '\\':
            cell += "&#92;";
            break;
        case '[':
            cell += "&#91;";
            break;
        case ']':
            cell += "&#93;";
            break;
        default:
            cell += c;
        }
    }
    return TerminalText(cell);
}

} // namespace tools
