#include "common/safe_text.h"

#include <cstdio>
#include <string_view>

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

namespace {

// The length of the UTF-8 sequence that starts at text[i], or 0 where none does: overlong forms,
// surrogates and the noncharacters U+FFFE and U+FFFF count as none.
size_t Utf8Length(const std::string& text, size_t i) {
    const unsigned char c = (unsigned char)text[i];
    const size_t length = c >= 0xc2 && c < 0xe0   ? 2
                          : c >= 0xe0 && c < 0xf0 ? 3
                          : c >= 0xf0 && c < 0xf5 ? 4
                                                  : 0;
    unsigned long point = c & (0x7f >> length);
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
        const unsigned char next = (unsigned char)text[i + k];
        valid = (next & 0xc0) == 0x80;
        point = (point << 6) | (next & 0x3f);
    }
    static const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && point >= least[length] && point <= 0x10ffff &&
            !(point >= 0xd800 && point <= 0xdfff) && point != 0xfffe && point != 0xffff;
    return valid ? length : 0;
}

} // namespace

std::string EscapeMarkup(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c < 0x20 || c == 0x7f ? ' ' : (char)c;
            }
            ++i;
            continue;
        }
        const size_t length = Utf8Length(text, i);
        const bool valid = length > 0;
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xef\xbf\xbd";
            ++i;
        }
    }
    return out;
}

std::string QuoteCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool plain =
            !arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUV"
                                                  "WXYZ0123456789-_=+,./:@%") == std::string::npos;
        std::string quoted = "'";
        for (const char c : arg) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += (i > 0 ? " " : "") + (plain ? arg : quoted + "'");
    }
    return line;
}

std::string CsvField(const std::string& text) {
    const std::string_view formulaStart = "=+-@\t\r";
    std::string out = !text.empty() && formulaStart.find(text[0]) != formulaStart.npos ? "'" : "";
    bool quoted = false;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        const size_t length = c < 0x80 ? 1 : Utf8Length(text, i);
        if (length == 0) {
            out += "\xef\xbf\xbd";
            ++i;
            continue;
        }
        quoted = quoted || c == ',' || c == '"' || c == '\r' || c == '\n';
        out.append(c == '"' ? "\"\"" : text.substr(i, length));
        i += length;
    }
    return quoted ? "\"" + out + "\"" : out;
}

} // namespace tools
