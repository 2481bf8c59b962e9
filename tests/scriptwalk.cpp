// Scripts walked row by row.
#include "scriptwalk.h"

#include <cstdlib>
#include <sstream>

namespace {

const int SCREEN_ROWS = 480;

// "S.mmm" or "M:SS.mmm" in milliseconds; -1 when it is neither.
long long songms(const std::string& t)
{
    size_t colon = t.find(':');
    char* end = nullptr;
    std::string seconds = colon == std::string::npos ? t : t.substr(colon + 1);
    double s = strtod(seconds.c_str(), &end);
    if (seconds.empty() || *end)
        return -1;
    long long minutes = colon == std::string::npos ? 0 : atoll(t.substr(0, colon).c_str());
    return minutes * 60000 + (long long)(s * 1000 + 0.5);
}

} // namespace

std::string plaintext(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '%')
            out += c;
    return out;
}

std::vector<scriptstep> walkscript(const std::string& script, int fontheight,
                                   const std::map<std::string, int>& pictureheights)
{
    std::vector<scriptstep> steps;
    std::map<int, std::string> rows, visible;
    long long ms = -1;
    std::istringstream in(script);
    std::string l;
    for (int n = 1; std::getline(in, l); n++) {
        if (l.empty() || l[0] == ';')
            continue;
        size_t open = l.find('('), close = l.find(')', open == std::string::npos ? 0 : open);
        if (open == std::string::npos || close == std::string::npos)
            break;
        std::string cmd = l.substr(0, open), args = l.substr(open + 1, close - open - 1);
        if (cmd == "at") {
            long long t = songms(args);
            if (t > ms) {
                ms = t;
                visible = rows;
            }
            continue;
        }
        scriptstep step;
        step.line = n;
        step.ms = ms;
        step.command = cmd;
        if (cmd == "clearscreen") {
            rows.clear();
        } else if (cmd == "setimg") {
            auto h = pictureheights.find(args);
            for (auto r = rows.begin(); r != rows.end();)
                r = h != pictureheights.end() && h->second >= SCREEN_ROWS - r->first * fontheight ? rows.erase(r)
                                                                                                  : std::next(r);
        } else if (cmd == "text" || cmd == "textrow") {
            step.row = 0;
            step.text = args;
            if (cmd == "textrow") {
                size_t comma = args.find(',');
                if (comma == std::string::npos)
                    break;
                step.row = atoi(args.substr(0, comma).c_str());
                step.text = args.substr(comma + 1);
            }
            std::string plain = plaintext(step.text);
            auto was = rows.find(step.row);
            if (was != rows.end() && plaintext(was->second) != plain)
                step.overdrawn = was->second;
            bool stood = false;
            for (const auto& v : visible)
                stood = stood || (v.first == step.row && plaintext(v.second) == plain);
            for (const auto& v : visible)
                if (!stood && v.first != step.row && plaintext(v.second) == plain)
                    step.movedfrom = v.first;
            rows[step.row] = step.text;
        } else {
            continue;
        }
        step.rows = rows;
        steps.push_back(step);
    }
    return steps;
}

std::string rowrules(const std::vector<scriptstep>& steps, bool oneline)
{
    std::string out;
    // Each line as it first appears on a row: the step that draws it, where the row did not hold it
    // when the song last moved on.
    std::vector<size_t> appear;
    std::map<int, std::string> visible;
    long long ms = -2;
    for (size_t i = 0; i < steps.size(); i++) {
        const scriptstep& s = steps[i];
        if (s.ms != ms) {
            visible = i > 0 ? steps[i - 1].rows : std::map<int, std::string>();
            ms = s.ms;
        }
        if (s.row < 0)
            continue;
        std::string where = "script line " + std::to_string(s.line) + ": \"" + s.text + "\"";
        if (!s.overdrawn.empty())
            out += where + " is drawn over \"" + s.overdrawn + "\" on row " + std::to_string(s.row) + "\n";
        if (s.movedfrom >= 0)
            out += where + " moves from row " + std::to_string(s.movedfrom) + " to row " + std::to_string(s.row) + "\n";
        auto v = visible.find(s.row);
        if (v == visible.end() || plaintext(v->second) != plaintext(s.text))
            if (appear.empty() || !(steps[appear.back()].row == s.row && plaintext(steps[appear.back()].text) == plaintext(s.text) &&
                                    steps[appear.back()].ms == s.ms))
                appear.push_back(i);
    }
    if (oneline)
        return out;
    for (size_t i = 0; i < steps.size(); i++) {
        const scriptstep& s = steps[i];
        if (s.row < 0 || s.text.find('%') == std::string::npos)
            continue;
        // The highlighted line's appearance, and the one after it.
        size_t a = appear.size();
        for (size_t k = 0; k < appear.size() && appear[k] <= i; k++)
            if (steps[appear[k]].row == s.row && plaintext(steps[appear[k]].text) == plaintext(s.text))
                a = k;
        if (a == appear.size() || a + 1 == appear.size())
            continue;
        size_t next = appear[a + 1];
        std::string want = plaintext(steps[next].text);
        bool gap = false;
        for (size_t k = i + 1; k < next; k++)
            gap = gap || (steps[k].rows.empty() && (k + 1 == steps.size() || steps[k + 1].ms > steps[k].ms));
        if (gap)
            continue;
        bool there = false;
        for (const auto& r : s.rows)
            there = there || (r.first != s.row && r.second == want);
        if (!there)
            out += "script line " + std::to_string(s.line) + ": \"" + s.text + "\" is highlighted at " +
                   std::to_string(s.ms) + " ms without the next line, \"" + want + "\", on another row\n";
    }
    return out;
}

long long leaves(const std::vector<scriptstep>& steps, const std::string& text)
{
    auto holds = [&](const scriptstep& s) {
        for (const auto& r : s.rows)
            if (plaintext(r.second) == text)
                return true;
        return false;
    };
    size_t i = 0;
    while (i < steps.size() && !(steps[i].row >= 0 && steps[i].text.find('%') != std::string::npos &&
                                 plaintext(steps[i].text) == text))
        i++;
    for (; i < steps.size(); i++) {
        if (holds(steps[i]))
            continue;
        bool back = false;
        for (size_t j = i + 1; j < steps.size() && steps[j].ms == steps[i].ms; j++)
            back = back || holds(steps[j]);
        if (!back)
            return steps[i].ms;
    }
    return -1;
}
