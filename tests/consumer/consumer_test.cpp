// The README's "Using kut in your own program" as a user follows it: this
// build tree installed into a fresh prefix, the README's program and
// CMakeLists.txt taken from the README itself, built with find_package and
// with pkg-config, and run without LD_LIBRARY_PATH.
#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

#if !defined(_WIN32)

namespace {

using kuttest::Shell;

// The code block that follows "<!-- consumer: NAME -->" in the README.
std::string Block(const std::string& readme, const std::string& name) {
    const std::size_t mark = readme.find("<!-- consumer: " + name + " -->");
    if (mark == std::string::npos) return "";
    const std::size_t open = readme.find("```", mark);
    const std::size_t body = readme.find('\n', open) + 1;
    const std::size_t close = readme.find("\n```", body);
    return close == std::string::npos ? "" : readme.substr(body, close - body + 1);
}

TEST(Consumer, ReadmeProgramBuildsAgainstAnInstall) {
#if defined(KUT_CONSUMER_SKIP)
    GTEST_SKIP() << KUT_CONSUMER_SKIP;
#endif
    kuttest::TempDir tmp;
    const std::string t = tmp.narrow(), prefix = t + "/prefix", app = t + "/app";
    const std::string quiet = " >\"" + t + "/log\" 2>&1";
    ASSERT_EQ(Shell("\"" KUT_CMAKE_COMMAND "\" --install \"" + kuttest::Narrow(kuttest::BinaryDir()) + "\" --prefix \"" + prefix +
                    "\"" + quiet),
              0);
    // What only the tests use stays out of an installation.
    for (const auto& h :
         {std::make_pair("kut/testing.h", false), std::make_pair("kbase/testing.h", false), std::make_pair("kut/kut.h", true)})
        EXPECT_EQ(kuttest::Exists(kuttest::Widen(prefix + "/include/" + h.first)), h.second) << h.first;
    // The installed tool finds its libraries and its data by itself.
    EXPECT_EQ(Shell("env -u LD_LIBRARY_PATH \"" + prefix + "/bin/kut\" msg show KMAIN 1" + quiet), 0);

    const std::string readme = kuttest::Read(kuttest::SourceDir() + L"/README.md");
    const std::string source = Block(readme, "app.cpp"), lists = Block(readme, "CMakeLists.txt");
    ASSERT_FALSE(source.empty() || lists.empty());
    kuttest::MakeDir(kuttest::Widen(app));
    ASSERT_TRUE(kuttest::WriteFile(kuttest::Widen(app + "/app.cpp"), source));
    ASSERT_TRUE(kuttest::WriteFile(kuttest::Widen(app + "/CMakeLists.txt"), lists));
    ASSERT_EQ(Shell("\"" KUT_CMAKE_COMMAND "\" -S \"" + app + "\" -B \"" + app + "/build\" -DCMAKE_PREFIX_PATH=\"" + prefix +
                    "\"" + quiet),
              0);
    ASSERT_EQ(Shell("\"" KUT_CMAKE_COMMAND "\" --build \"" + app + "/build\"" + quiet), 0);

    const std::string data = prefix + "/share/kut/data";
    const std::pair<const char*, std::string> ways[] = {
        {"data folder by REP_SetRepert",
         "cd \"" + t + "\" && env -u LD_LIBRARY_PATH -u KBASE_ROOT \"" + app + "/build/app\" \"" + data + "\""},
        {"data folder by KBASE_ROOT",
         "cd \"" + t + "\" && env -u LD_LIBRARY_PATH KBASE_ROOT=\"" + data + "\" \"" + app + "/build/app\""},
        {"built through pkg-config", "cd \"" + t + "\" && PKG_CONFIG_PATH=\"" + prefix + "/lib/pkgconfig\" c++ -std=c++17 \"" +
                                         app + "/app.cpp\" $(PKG_CONFIG_PATH=\"" + prefix +
                                         "/lib/pkgconfig\" pkg-config --cflags --libs kut) -Wl,-rpath,\"" + prefix +
                                         "/lib\" -o app2 && env -u LD_LIBRARY_PATH ./app2 \"" + data + "\""},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.first);
        kuttest::RemoveTree(kuttest::Widen(t + "/converted.txt"));
        const int rc = Shell(w.second + " >\"" + t + "/out\" 2>&1");
        const std::string out = kuttest::Read(kuttest::Widen(t + "/out"));
        EXPECT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("Calculation finished: 12 members checked.\n"), std::string::npos) << out;
        EXPECT_NE(out.find("converted.txt: result 0"), std::string::npos) << out;
        EXPECT_NE(kuttest::Read(kuttest::Widen(t + "/converted.txt")).find("Caf\xE9 cr\xE8me"),
                  std::string::npos);  // Windows-1252 now
    }
}

}  // namespace

#endif
