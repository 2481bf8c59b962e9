// The companion programs' command line.
#include "cli.h"

#include <cstdio>
#include <cstdlib>

bool cmdline::next()
{
    if (++i >= argc)
        return false;
    current = argv[i];
    if (options && current == "--") {
        options = false;
        return next();
    }
    isoption = options && current.size() > 1 && current[0] == '-';
    return true;
}

bool cmdline::flag(const char* name) const
{
    return isoption && current == name;
}

bool cmdline::option(const char* name, std::string& value)
{
    std::string n = name;
    if (!isoption || current.compare(0, n.size(), n) != 0)
        return false;
    if (current.size() == n.size()) {
        if (i + 1 >= argc)
            fail("option " + n + " needs a value (see " + program + " --help)");
        value = argv[++i];
    } else if (current[n.size()] == '=') {
        value = current.substr(n.size() + 1);
    } else {
        return false;
    }
    if (value.empty())
        fail("option " + n + " needs a value that is not empty");
    return true;
}

bool cmdline::operand() const
{
    return !isoption;
}

void cmdline::unknown() const
{
    fail("unknown option " + quoted(current) + " (see " + program + " --help)");
}

void cmdline::fail(const std::string& message) const
{
    fprintf(stderr, "%s: %s\n", program, message.c_str());
    exit(1);
}

std::string quoted(std::string text)
{
    for (char& c : text)
        if ((unsigned char)c < 0x20 || c == 0x7F)
            c = '?';
    return "\"" + text + "\"";
}
