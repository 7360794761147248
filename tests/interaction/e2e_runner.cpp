// The end-to-end harness (see e2e_runner.h).
#include "e2e_runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdint>
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

void put_le(std::ofstream &out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.put((char)((v >> (8 * i)) & 0xff));
}

} // namespace

std::string scratch_dir() { return INTERACTION_SCRATCH; }

Transcript run_script(const std::string &patch, const std::string &script)
{
    std::string base = scratch_dir() + "/" + test_name();
    std::ofstream(base + ".script", std::ios::binary) << script;
    std::string cmd = "cd " + quote(scratch_dir()) + " && " + quote(PATCHHOST_EXE) + " run " +
                      quote(std::string(INTERACTION_PATCHES) + "/" + patch) + " --script " +
                      quote(base + ".script") + " >" + quote(base + ".out") + " 2>" + quote(base + ".err");
    Transcript r;
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

std::vector<Json> lines_of(const Transcript &r, const std::string &type)
{
    std::vector<Json> out;
    for (const Json &l : r.lines)
        if (l.value("t", "") == type)
            out.push_back(l);
    return out;
}

std::vector<Json> outlet_args(const Transcript &r, const std::string &box, int outlet)
{
    std::vector<Json> out;
    for (const Json &l : lines_of(r, "outlet"))
        if (l["box"] == box && l["outlet"] == outlet)
            out.push_back(l["args"]);
    return out;
}

void write_wav(const std::string &path, long frames, long sr, double (*fn)(long frame))
{
    std::ofstream out(path, std::ios::binary);
    uint32_t data = (uint32_t)frames * 2;
    out << "RIFF";
    put_le(out, 36 + data, 4);
    out << "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2); // PCM
    put_le(out, 1, 2); // mono
    put_le(out, (uint32_t)sr, 4);
    put_le(out, (uint32_t)sr * 2, 4);
    put_le(out, 2, 2);
    put_le(out, 16, 2);
    out << "data";
    put_le(out, data, 4);
    for (long i = 0; i < frames; i++)
        put_le(out, (uint32_t)(int16_t)std::lround(32767 * fn(i)), 2);
}
