#include <sstream>

#include "UpdateRunSupport.h"

namespace tvk::test {

ParsedReport ParseReportFile(const std::filesystem::path& file) {
    static const char* kParser =
        "import sys, xml.etree.ElementTree as ET\n"
        "root = ET.parse(sys.argv[1]).getroot()\n"
        "out = [root.tag] + ['%s\\t%s' % (c.tag, c.text or '') for c in root]\n"
        "sys.stdout.buffer.write('\\n'.join(out).encode('utf-8'))\n";
    ProcessResult parsed = RunProcess({"/usr/bin/python3", "-c", kParser, file.string()});
    ParsedReport report;
    if (parsed.exitCode != 0) {
        ADD_FAILURE() << "the XML parser refused " << file << ": " << parsed.err;
        return report;
    }
    std::istringstream lines(parsed.out);
    std::getline(lines, report.root);
    for (std::string line; std::getline(lines, line);) {
        size_t tab = line.find('\t');
        report.children.emplace_back(line.substr(0, tab),
                                     tab == std::string::npos ? "" : line.substr(tab + 1));
    }
    return report;
}

}  // namespace tvk::test
