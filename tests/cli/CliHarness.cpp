#include "CliHarness.h"

#include <stdexcept>

namespace clitest {

Run cli(const std::vector<std::string>& args) {
    return cliWith({}, args, {});
}

Run cliWith(const std::vector<std::string>& env, const std::vector<std::string>& args,
            const std::string& cwd) {
    mgtest::TempDir dir("mgtest-cli-run");
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     "exec env \"$@\" </dev/null >\"$OUT\" 2>\"$ERR\"", "sh"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(MG_CLI_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    setenv("OUT", dir.file("out").c_str(), 1);
    setenv("ERR", dir.file("err").c_str(), 1);
    Run run;
    run.exitCode = mgtest::runCommand(argv, cwd).exitCode;
    run.out = mgtest::readFile(dir.file("out"));
    run.err = mgtest::readFile(dir.file("err"));
    return run;
}

void makeArchive(const std::string& path, const std::string& script) {
    const std::string program = "import sys, zipfile\n" + script;
    auto result = mgtest::runCommand({mgtest::DebianPython, "-c", program, path});
    if (result.exitCode != 0)
        throw std::runtime_error("archive script failed: " + result.output);
}

std::string pythonTsv(const std::string& path) {
    const char* program = R"(import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    if i.is_dir(): continue
    t = "%04d-%02d-%02dT%02d:%02d:%02d" % i.date_time
    print("%s\t%d\t%d\t%08x\t%d\t%s" % (i.filename, i.file_size, i.compress_size, i.CRC, i.compress_type, t))
)";
    return mgtest::runCommand({mgtest::DebianPython, "-c", program, path}).output;
}

} // namespace clitest
