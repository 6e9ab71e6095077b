// The command line: options, FILEs read as one session, and what goes wrong.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace console_test {
namespace {

const char kPrompt[] = "Please input expression.\n";
const char kTryHelp[] = "Try 'calculator --help' for more information.\n";

// Input files of the cases, in a folder of their own. "{}" in an argument
// or an expected text stands for that folder. The program runs without a
// controlling terminal, as a service starts it.
class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/calculator-command-line-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    Write("first.txt", "set(x,2)\n1+1");  // the last line has no line feed
    Write("second.txt", "x*10\n");
    // A file that passes stat and access checks but that open refuses.
    socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const std::string path = folder_ + "/socket";
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(0, bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address));
  }
  void TearDown() override {
    close(socket_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << content;
  }

  std::string Placed(std::string text) const {
    for (std::size_t at = text.find("{}"); at != std::string::npos; at = text.find("{}")) {
      text.replace(at, 2, folder_);
    }
    return text;
  }

  RunResult Run(std::vector<std::string> arguments, const std::string& input = "") const {
    for (std::string& argument : arguments) {
      argument = Placed(argument);
    }
    ChildSetup setup;
    setup.arguments = arguments;
    setup.new_session = true;
    return RunWithSetup(setup, input);
  }

  std::string folder_;
  int socket_ = -1;
};

struct Case {
  std::vector<std::string> arguments;
  std::string input;  // standard input
  std::string out;
  std::string err;
  int status;
};

TEST_F(CommandLine, FilesOptionsAndFailures) {
  const std::vector<Case> cases = {
      {{"{}/first.txt", "{}/second.txt"},
       "",
       std::string(kPrompt) + "Result is 2\nResult is 2\nResult is 20\n",
       "",
       0},
      {{"{}/first.txt", "-", "{}/second.txt"},
       "x+1\n",
       std::string(kPrompt) + "Result is 2\nResult is 2\nResult is 3\nResult is 20\n",
       "",
       0},
      {{"-"}, "6*7\n", std::string(kPrompt) + "Result is 42\n", "", 0},
      {{"-q", "{}/first.txt"}, "", "Result is 2\nResult is 2\n", "", 0},
      {{"{}/second.txt", "--quiet"}, "", "Error : Func6 Error : Wrong character.\n", "", 0},
      {{"-q", "-d", "17"}, "0.1+0.2\n", "Result is 0.30000000000000004\n", "", 0},
      {{"-qd3", "{}/first.txt"}, "", "Result is 2\nResult is 2\n", "", 0},
      {{"--digits=shortest", "-q"}, "1/3\n", "Result is 0.3333333333333333\n", "", 0},
      {{"--digits", "1", "-q"}, "2/3\n", "Result is 0.7\n", "", 0},
      {{"--digits=0"},
       "1\n",
       "",
       std::string("calculator: invalid number of digits '0': give 1 to 17, or shortest\n") +
           kTryHelp,
       2},
      {{"-d", "18"},
       "1\n",
       "",
       std::string("calculator: invalid number of digits '18': give 1 to 17, or shortest\n") +
           kTryHelp,
       2},
      {{"-d", "+5"},
       "1\n",
       "",
       std::string("calculator: invalid number of digits '+5': give 1 to 17, or shortest\n") +
           kTryHelp,
       2},
      {{"-d"},
       "1\n",
       "",
       std::string("calculator: option requires an argument -- 'd'\n") + kTryHelp,
       2},
      {{"{}/first.txt", "{}/missing.txt", "{}/second.txt"},
       "",
       "",
       "calculator: {}/missing.txt: No such file or directory\n",
       2},
      {{"{}"}, "", "", "calculator: {}: Is a directory\n", 2},
      // Refused by open alone: still before any answer.
      {{"{}/first.txt", "{}/socket"},
       "",
       "",
       "calculator: {}/socket: No such device or address\n",
       2},
      {{"{}/first.txt", "/dev/tty"},
       "",
       "",
       "calculator: /dev/tty: No such device or address\n",
       2},
      // After "--", "-q" is a file name.
      {{"--", "-q"}, "", "", "calculator: -q: No such file or directory\n", 2},
      {{"-x"}, "1\n", "", std::string("calculator: invalid option -- 'x'\n") + kTryHelp, 2},
      {{"--bogus", "{}/first.txt"},
       "",
       "",
       std::string("calculator: unrecognized option '--bogus'\n") + kTryHelp,
       2},
  };
  for (const Case& c : cases) {
    std::string command;
    for (const std::string& argument : c.arguments) {
      command += " " + argument;
    }
    SCOPED_TRACE("calculator" + command);
    const RunResult run = Run(c.arguments, c.input);
    EXPECT_EQ(c.out, run.out);
    EXPECT_EQ(Placed(c.err), run.err);
    EXPECT_TRUE(run.exited && run.exit_status == c.status) << DescribeRun(run);
  }
}

TEST_F(CommandLine, HelpAndVersionGoToStandardOutput) {
  for (const char* option : {"-h", "--help"}) {
    const RunResult run = Run({option, "{}/first.txt"}, "1\n");
    EXPECT_EQ(0u, run.out.find("Usage: calculator [OPTION]... [FILE]...\n")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("--quiet")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("--digits=N")) << run.out;
    // Every exit status that the manual names.
    EXPECT_NE(std::string::npos,
              run.out.find("Exit status: 0 at the end of input, 1 when an input cannot be read"))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find("2 for a wrong option")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("128+N when ended by signal N")) << run.out;
    EXPECT_EQ("", run.err);
    EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
  }
  for (const char* option : {"-V", "--version"}) {
    const RunResult run = Run({option});
    const std::string first_line = std::string("calculator ") + CALCULATOR_VERSION + "\n";
    EXPECT_EQ(0u, run.out.find(first_line)) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("MIT", first_line.size())) << run.out;
    EXPECT_EQ('\n', run.out.back());
    EXPECT_EQ("", run.err);
    EXPECT_TRUE(run.exited && run.exit_status == 0) << DescribeRun(run);
  }
}

}  // namespace
}  // namespace console_test
