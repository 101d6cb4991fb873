#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/text_file.h"

namespace {

// Reads `bytes` back through read_text_file from a seekable temporary file.
std::string read_back(const std::string& bytes, size_t* terminated_at) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return "<no temporary file>";
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    char* text = read_text_file(file);  // closes the file
    if (text == nullptr) return "<null>";
    *terminated_at = std::strlen(text);
    std::string out(text);
    std::free(text);
    return out;
}

TEST(TextFile, ReadsWholeWithLineFeedsOnly) {
    struct Case {
        std::string file;
        std::string text;
        const char* what;
    };
    const Case cases[] = {
        {"void main()\r\n{\r\n}\r\n", "void main()\n{\n}\n", "CR LF line ends"},
        {"void main()\n{\n}\n", "void main()\n{\n}\n", "LF line ends"},
        {"a\r\nb", "a\nb", "no final line end"},
        {"", "", "empty file"},
        {"a\rb\r", "a\rb\r", "lone CRs are not line ends"},
        {"\r\r\n\r\n", "\r\n\n", "CR before a CR LF pair"},
    };
    for (const Case& c : cases) {
        size_t terminated_at = 12345;
        EXPECT_EQ(read_back(c.file, &terminated_at), c.text) << c.what;
        EXPECT_EQ(terminated_at, c.text.size()) << c.what;
    }
}

TEST(TextFile, ReadsAStreamOfUnknownSize) {
    // A pipe cannot be measured by seeking; the text must still arrive whole, across several
    // growths of the buffer, with its CR LF pairs reduced.
    std::string line = "uniform float scalar;\r\n";
    std::string file, text;
    for (int i = 0; i < 1000; ++i) {
        file += line;
        text += "uniform float scalar;\n";
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // The writer is a child so the pipe cannot fill up while nobody reads.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        size_t off = 0;
        while (off < file.size()) {
            ssize_t n = write(fds[1], file.data() + off, file.size() - off);
            if (n <= 0) _exit(1);
            off += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::FILE* stream = fdopen(fds[0], "r");
    ASSERT_NE(stream, nullptr);
    char* got = read_text_file(stream);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::strlen(got), text.size());
    EXPECT_EQ(std::string(got), text);
    std::free(got);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
