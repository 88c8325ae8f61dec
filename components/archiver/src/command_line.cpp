#include "command_line.h"

#include "archive_error.h"

namespace archiver {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

bool EqualsIgnoringCase(const std::u16string& a, const char16_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return i == a.size() && !b[i];
}

// One argument, with a record of which characters came from inside quotes so
// that a quoted "-x" is a file name, not a switch.
struct Argument {
  std::u16string text;
  bool startsQuoted = false;
};

bool Tokenize(const std::u16string& line, std::vector<Argument>& arguments) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    Argument argument;
    argument.startsQuoted = line[i] == u'"';
    bool quoted = false;
    for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
      if (line[i] == u'"') quoted = !quoted;
      else argument.text.push_back(line[i]);
    }
    if (quoted) return false;  // an unterminated quote
    arguments.push_back(argument);
  }
  return true;
}

}  // namespace

int ParseCommandLine(const std::u16string& text, ExtractCommand& command) {
  command = ExtractCommand();
  std::vector<Argument> arguments;
  if (!Tokenize(text, arguments) || arguments.empty()) return kErrorCommand;

  if (EqualsIgnoringCase(arguments[0].text, u"x")) command.keepPaths = true;
  else if (EqualsIgnoringCase(arguments[0].text, u"e")) command.keepPaths = false;
  else return kErrorCommand;

  bool haveArchive = false, haveOutput = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::u16string& a = arguments[i].text;
    if (!arguments[i].startsQuoted && !a.empty() && a[0] == u'-') {
      std::u16string name = a.substr(1);
      if (EqualsIgnoringCase(name, u"y")) {
        command.assumeYes = true;
      } else if (EqualsIgnoringCase(name, u"hide")) {
        // no window is ever shown: accepted as it stands
      } else if (!name.empty() && Lower(name[0]) == u'p') {
        command.passwordGiven = true;
        command.password = name.substr(1);
      } else if (!name.empty() && Lower(name[0]) == u'o') {
        if (haveOutput || name.size() == 1) return kErrorCommand;
        command.outputFolder = name.substr(1);
        haveOutput = true;
      } else {
        return kErrorCommand;
      }
      continue;
    }
    if (a.empty()) return kErrorCommand;
    if (!haveArchive) {
      command.archivePath = a;
      haveArchive = true;
    } else if (a.back() == u'\\' || a.back() == u'/') {
      if (haveOutput) return kErrorCommand;
      command.outputFolder = a;
      haveOutput = true;
    } else {
      command.patterns.push_back(a);
    }
  }
  if (!haveArchive) return kErrorCommand;
  if (command.patterns.empty()) command.patterns.push_back(u"*");
  return kOk;
}

}  // namespace archiver
