#pragma once
// The verbs and options telmax-cmd takes, each with its help: one table that the grammar reads
// them by and the usage text lists them from.

#include <span>
#include <string>

#include "tools/verb_grammar.h"

namespace tools {

struct VerbSpec {
    const char *name;
    Verb verb;
    const char *argName;   // empty: the verb takes no argument
    const char *summary;
    const char *example;
};

enum class Scope { Global, Scan, Test };

struct OptionSpec {
    const char *name;
    const char *valueName;   // empty: a switch
    Scope scope;
    const char *help;
};

extern const std::span<const VerbSpec> kVerbs;
extern const std::span<const OptionSpec> kOptions;

// The entry of that name; nullptr when there is none.
const VerbSpec *findVerb(const std::string &name);
const OptionSpec *findOption(const std::string &name);

} // namespace tools
