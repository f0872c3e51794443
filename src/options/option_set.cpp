#include "options/option_set.h"

#include "options/integer_text.h"

namespace quilbo {
namespace {

void AppendQuoted(std::string& out, const std::string& path) {
  out += '"';
  out += path;
  out += '"';
}

}  // namespace

std::string BuildCommandLine(const TOptionSet& options) {
  std::string line;
  line.reserve(48 + options.inputPath.size() + options.outputPath.size());
  switch (options.mode) {
    case TAmplifyMode::amRatio: line += "-l " + DecimalText(options.ratio); break;
    case TAmplifyMode::amLevel: line += "-a " + DecimalText(options.level); break;
    case TAmplifyMode::amPercent: line += "-m " + DecimalText(options.percent); break;
  }
  if (options.bufferSizeEnabled) line += " -b " + DecimalText(options.bufferSize);
  if (options.outputEnabled) {
    line += " -o ";
    AppendQuoted(line, options.outputPath);
  }
  if (options.abortEnabled) line += " -x " + DecimalText(options.abortLevel);
  line += ' ';
  AppendQuoted(line, options.inputPath);
  return line;
}

}  // namespace quilbo
