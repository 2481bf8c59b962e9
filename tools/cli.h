// The command line and the messages of tralune's companion programs, so that they all take options and
// report failures the same way.
#ifndef TRALUNE_CLI_H
#define TRALUNE_CLI_H

#include <string>

// Walks a command line: options with a value ("--name VALUE", "--name=VALUE", "-o VALUE"), flags,
// "--" (everything after it is an operand), and operands. Typical use:
//   cmdline cl(PROGRAM, argc, argv);
//   while (cl.next())
//       if (cl.option("--font", font)) ... else if (cl.operand()) ... else cl.unknown();
class cmdline {
public:
    cmdline(const char* program, int argc, char** argv) : program(program), argc(argc), argv(argv) {}
    // Moves to the next argument; false after the last.
    bool next();
    // The argument moved to.
    const std::string& arg() const { return current; }
    // Whether the argument is the flag name.
    bool flag(const char* name) const;
    // Whether the argument is the option name; its value is then taken into value (from after "=", else
    // the next argument). Fails the run when the value is missing or empty.
    bool option(const char* name, std::string& value);
    // Whether the argument is an operand: not an option, or anything after "--". "-" is an operand.
    bool operand() const;
    // Fails the run: the argument is an option this program does not know.
    [[noreturn]] void unknown() const;
    // Fails the run with "PROGRAM: message" on standard error, status 1.
    [[noreturn]] void fail(const std::string& message) const;

private:
    const char* program;
    int argc;
    char** argv;
    int i = 0;
    bool options = true;
    bool isoption = false;
    std::string current;
};

// text in double quotes for a one-line message: control characters become "?".
std::string quoted(std::string text);

#endif
