// The converter's quick path, with no Qt: one JPEG or PNG file to plain or
// coloured text on standard output, the commonest job, done without loading
// Qt's libraries (which cost more than the rest of a small conversion).
// Everything else goes to the full converter (cli/full_converter.h) before
// anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zindrel::cli {

// Runs the command line (without the program name) when the quick path can
// do all of it, and returns the exit status. Returns nothing, having written
// nothing, when the full converter is to run it instead: any other picture
// kind or output, standard input, several pictures, and any failure or
// usage error at all up to the art being ready, so that every message stays
// the full converter's. Once the art is ready it is written here, and a
// failure to write it is reported as the full converter reports it.
// `programDirectory` is where the default table lies.
std::optional<int> ConvertQuickly(const std::vector<std::string>& args, const std::string& programDirectory);

}  // namespace zindrel::cli
