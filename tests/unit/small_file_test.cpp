#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/small_file.h"

TEST(SmallFile, ShaderTextKeepsOnlyBareLineFeeds) {
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
        {"\xEF\xBB\xBFvoid main()\r\n", "void main()\n", "a byte-order mark is no text"},
    };
    char name[] = "/tmp/tarnwell-small-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    for (const Case& c : cases) {
        std::FILE* f = std::fopen(name, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(c.file.data(), 1, c.file.size(), f);
        std::fclose(f);
        std::string text = "stale";
        ASSERT_EQ(read_small_file(name, &text).status, SmallFileRead::ok) << c.what;
        strip_cr_before_lf(&text);
        EXPECT_EQ(text, c.text) << c.what;
    }
    std::remove(name);
}
