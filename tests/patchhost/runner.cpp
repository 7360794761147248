// The patch runner test harness (see runner.h).
#include "runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string test_name()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : "run";
}

} // namespace

const char *const kUiLoaded = R"({"t":"outlet","box":"obj-2","outlet":0,"sel":"loaded","args":[]})";

std::string scratch_dir() { return PATCHHOST_SCRATCH; }

std::string patches_dir() { return PATCHHOST_PATCHES; }

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

RunResult run_patch(const std::string &patch, const char *script, const std::vector<std::string> &args)
{
    std::string base = scratch_dir() + "/" + test_name();
    std::string cmd = "cd " + quote(scratch_dir()) + " && " + quote(PATCHHOST_EXE) + " run " +
                      quote(patch.empty() || patch[0] == '/' ? patch : patches_dir() + "/" + patch);
    if (script) {
        write_file(base + ".script", script);
        cmd += " --script " + quote(base + ".script");
    }
    for (const std::string &a : args)
        cmd += " " + a; // already quoted by the caller where needed
    cmd += " >" + quote(base + ".out") + " 2>" + quote(base + ".err");
    RunResult r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = read_file(base + ".err");
    std::istringstream out(read_file(base + ".out"));
    std::string line;
    while (std::getline(out, line)) {
        Json j = Json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object())
            ADD_FAILURE() << "transcript line is not a JSON object: " << line;
        else
            r.lines.push_back(j);
    }
    return r;
}

std::vector<Json> lines_of(const RunResult &r, const std::string &type)
{
    std::vector<Json> out;
    for (const Json &l : r.lines)
        if (l.value("t", "") == type)
            out.push_back(l);
    return out;
}

bool strict_equal(const Json &a, const Json &b)
{
    if (a.is_number_integer() && b.is_number_integer())
        return a.get<int64_t>() == b.get<int64_t>();
    if (a.type() != b.type())
        return false;
    if (a.is_object()) {
        if (a.size() != b.size())
            return false;
        for (auto it = a.begin(); it != a.end(); ++it)
            if (!b.contains(it.key()) || !strict_equal(it.value(), b[it.key()]))
                return false;
        return true;
    }
    if (a.is_array()) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); i++)
            if (!strict_equal(a[i], b[i]))
                return false;
        return true;
    }
    return a == b;
}

void expect_lines(const std::vector<Json> &actual, const std::vector<std::string> &expected)
{
    size_t n = std::max(actual.size(), expected.size());
    for (size_t i = 0; i < n; i++) {
        std::string want = i < expected.size() ? Json::parse(expected[i]).dump() : "(nothing)";
        std::string got = i < actual.size() ? actual[i].dump() : "(nothing)";
        bool same = i < expected.size() && i < actual.size() && strict_equal(actual[i], Json::parse(expected[i]));
        EXPECT_TRUE(same) << "line " << i << "\n  expected " << want << "\n  got      " << got;
    }
}
