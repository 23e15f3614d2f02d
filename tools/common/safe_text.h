// Names from outside (directories, host names, fields of reports) made safe to show, so that
// a name cannot drive the terminal or inject markup into a rendered page.
#pragma once

#include <string>

namespace tools {

// Control characters escaped as `ls --quoting-style=escape` shows them: \a \b \t \n \v \f \r,
// the rest as three octal digits (\033 for escape, \177 for delete), C1 controls encoded in
// UTF-8 too. Spaces and backslashes stay as they are, since Windows paths are full of them.
std::string TerminalText(const std::string& text);

// "<program>: <subject>: <reason>" on standard error, or "<program>: <reason>" where subject is
// empty, with subject and reason shown as TerminalText shows them: every complaint of the
// companions goes through here, so no name from outside reaches the terminal raw.
void Complain(const std::string& program, const std::string& subject, const std::string& reason);

// One cell of a Markdown table: line breaks become spaces, pipes are escaped, and the
// characters that open HTML, code spans, links or entities become character references.
std::string MarkdownCell(const std::string& text);

// Text that any XML or HTML reader shows as written: markup characters escaped, control
// characters made spaces, and bytes that are not UTF-8 made U+FFFD.
std::string EscapeMarkup(const std::string& text);

// One field of a CSV file (RFC 4180): quoted where it holds a comma, a double quote or a line
// break, with each double quote doubled; bytes that are not UTF-8 made U+FFFD, so that a strict
// reader takes the file. Text that a spreadsheet would run as a formula (it begins with =, +, -,
// @, a tab or a CR) gets a leading ', as OWASP advises: a merged report's label is anyone's.
std::string CsvField(const std::string& text);

// The arguments as one line a POSIX shell reads back as they were.
std::string QuoteCommandLine(int argc, const char* const* argv);

} // namespace tools
