// Words the command prints for the user to paste back into a shell.

#include <gtest/gtest.h>

#include "shell_quote.h"

namespace {

TEST(ShellQuote, EveryByteReachesTheProgramAsOneWord)
{
    const struct {
        const char* word;
        const char* posix;
        const char* windows;
    } cases[] = {
        {"movie.avi.28.52.plit", "'movie.avi.28.52.plit'", "\"movie.avi.28.52.plit\""},
        {"", "''", "\"\""},
        {"it's", "'it'\\''s'", "\"it's\""},
        {"''", "''\\'''\\'''", "\"''\""},
        {"a b\t$HOME `x` \\ !*?;&|<>\n", "'a b\t$HOME `x` \\ !*?;&|<>\n'", "\"a b\t$HOME `x` \\ !*?;&|<>\n\""},
        {"C:\\Users\\ann\\movie.avi.0.3.plit", "'C:\\Users\\ann\\movie.avi.0.3.plit'",
         "\"C:\\Users\\ann\\movie.avi.0.3.plit\""},
        {"D:\\", "'D:\\'", "\"D:\\\\\""},
        {"D:\\a\\\\", "'D:\\a\\\\'", "\"D:\\a\\\\\\\\\""},
        {"\xc3\xa9t\xc3\xa9.avi", "'\xc3\xa9t\xc3\xa9.avi'", "\"\xc3\xa9t\xc3\xa9.avi\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShellQuoted(c.word, Shell::Posix), c.posix) << c.word;
        EXPECT_EQ(ShellQuoted(c.word, Shell::Windows), c.windows) << c.word;
    }
}

}  // namespace
