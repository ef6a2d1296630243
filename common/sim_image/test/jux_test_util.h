// Test helpers: a temporary folder and JUX files built byte by byte.
#ifndef SIM_IMAGE_TEST_JUX_TEST_UTIL_H
#define SIM_IMAGE_TEST_JUX_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace testutil {

using Bytes = std::vector<unsigned char>;

// Descriptors open in the process.
inline int openDescriptors()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            n++;
        closedir(d);
    }
    return n;
}

// A folder of the test's own, removed at the end; the test must not leave
// a file open (readers and writers close what they open, also on failure).
class TempDir {
public:
    TempDir()
    {
        descriptors_ = openDescriptors();
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/sim_image_test_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()))
            path_ = buf.data();
    }
    ~TempDir()
    {
        EXPECT_EQ(openDescriptors(), descriptors_) << "files left open";
        if (path_.empty())
            return;
        if (DIR *d = opendir(path_.c_str())) {
            while (dirent *e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..")
                    unlink((path_ + "/" + name).c_str());
            }
            closedir(d);
        }
        rmdir(path_.c_str());
    }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
    int descriptors_ = 0;
};

inline void writeFile(const std::string &path, const Bytes &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
        EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    fclose(f);
}

inline Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes toBytes(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

inline void append(Bytes &to, const Bytes &more)
{
    to.insert(to.end(), more.begin(), more.end());
}

// "JUX1\n04" and four table fields " %013lld", then a line feed: 64 bytes.
inline std::string header(long long metaOffs, long long metaSize, long long pixOffs, long long pixSize)
{
    char buf[128];
    snprintf(buf, sizeof(buf), "JUX1\n04 %013lld %013lld %013lld %013lld\n", metaOffs, metaSize, pixOffs, pixSize);
    return buf;
}

// One segment as the format lays it out: header, metadata right after it,
// pixels right after the metadata.
inline Bytes segment(const std::string &meta, const Bytes &pixels)
{
    Bytes out = toBytes(header(64, static_cast<long long>(meta.size()), 64 + static_cast<long long>(meta.size()),
                               static_cast<long long>(pixels.size())));
    append(out, toBytes(meta));
    append(out, pixels);
    return out;
}

// What a call writes to standard error (where error and warning lines go).
template <typename Fn>
std::string stderrOf(Fn fn)
{
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}

// One log line of the given kind ("ERROR", "WARNING") and tag whose message is
// exactly the text given.
inline ::testing::AssertionResult isLogLine(const std::string &out, const std::string &kind, const std::string &tag,
                                            const std::string &message)
{
    const std::string head = kind + " [" + tag + "]: ";
    if (out.compare(0, head.size(), head) != 0)
        return ::testing::AssertionFailure() << "no '" << head << "' line in: " << out;
    if (out.size() < message.size() + 1 || out.compare(out.size() - message.size(), message.size(), message) != 0 ||
        out[out.size() - message.size() - 1] != ' ')
        return ::testing::AssertionFailure() << "'" << out << "' does not end with ' " << message << "'";
    if (out.find('\n') != out.size() - 1)
        return ::testing::AssertionFailure() << "not one line: " << out;
    return ::testing::AssertionSuccess();
}

}  // namespace testutil

#endif
