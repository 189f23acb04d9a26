#include "tools/verb_grammar.h"

#include "tools/verb_table.h"

namespace tools {

namespace {

// Text wrapped to the help's 80 columns, every line indented to the description column; a line
// at that indent is what help2man joins into one paragraph of the manual page.
constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpColumn = 24;

std::string wrapped(const std::string &text, const std::string &unbroken)
{
    std::string out;
    std::string line;
    auto put = [&](const std::string &word) {
        if (!line.empty() && kHelpColumn + line.size() + 1 + word.size() > kHelpWidth) {
            out += std::string(kHelpColumn, ' ') + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    };
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == '\n') {
            if (!word.empty())
                put(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!unbroken.empty())
        put(unbroken);   // an example stays whole, so it can be copied from the terminal
    return out + std::string(kHelpColumn, ' ') + line + "\n";
}

// "  NAME ARG" padded to the description column, or on a line of its own when longer.
std::string tag(const char *name, const char *argName)
{
    std::string head = std::string("  ") + name + (*argName ? std::string(" ") + argName : std::string());
    if (head.size() + 2 <= kHelpColumn)
        head.resize(kHelpColumn, ' ');
    else
        head += "\n" + std::string(kHelpColumn, ' ');
    return head;
}

// The first line of a wrapped text goes after its tag.
std::string tagged(const char *name, const char *argName, const std::string &text, const std::string &unbroken = {})
{
    return tag(name, argName) + wrapped(text, unbroken).substr(kHelpColumn);
}

} // namespace

std::string verbUsage()
{
    std::string out = "Verbs:\n";
    for (const VerbSpec &v : kVerbs)
        out += tagged(v.name, v.argName, std::string(v.summary) + ";", std::string("e.g. ") + v.example);
    out += "\n"
           "An operation other than scan needs a module found by scan in the same command,\n"
           "or --port. Progress goes to stderr as the window's message panel shows it;\n"
           "results to stdout.\n"
           "\n"
           "Options:\n";
    for (const OptionSpec &o : kOptions)
        out += tagged(o.name, o.valueName, o.help);
    return out;
}

} // namespace tools
