// tabulor-mkdb --version V [--patients N] [--seed S] [--stray-users]
//              [--share-with SEED:PATIENTS --share F] DIR
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "db/schema/generator/generator.h"

namespace {

using tabulor::schema::GeneratorOptions;

constexpr const char* kUsage =
    "Usage: tabulor-mkdb --version V [--patients N] [--seed S] [--stray-users]\n"
    "                    [--share-with SEED:PATIENTS --share F] DIR\n"
    "Writes a practice database at schema version V (0, 1, 2, 2.1, 2.3, 2.4, 2.5 or 2.8)\n"
    "into DIR: the tables in DIR/DATA, letters in DIR/Documents/Mails, videos in DIR/movies.\n"
    "  --patients N      number of patients, up to 100000 (default 50)\n"
    "  --seed S          seed of the rows (default 1); the same seed gives the same database\n"
    "  --stray-users     below 2: leave the files of an earlier Users table beside User\n"
    "  --share-with SEED:PATIENTS, --share F\n"
    "                    give about F (0 to 1) of the patients the name, first name and\n"
    "                    birth date of patients of the database made with that seed and count\n";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "tabulor-mkdb: %s\n%s", message.c_str(), kUsage);
  std::exit(2);
}

long long ParseInteger(std::string_view option, const std::string& text, long long min, long long max) {
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < min || value > max)
    Fail(std::string(option) + ": not a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
         ": " + text);
  return value;
}

GeneratorOptions ParseArguments(int argc, char** argv, std::string& dir) {
  GeneratorOptions options;
  bool has_version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      const std::string text = value();
      const auto version = tabulor::schema::ParseVersion(text);
      if (!version || !tabulor::schema::IsKnownVersion(*version)) Fail("unknown schema version " + text);
      options.version = *version;
      has_version = true;
    } else if (arg == "--patients") {
      options.patients = static_cast<int>(ParseInteger(arg, value(), 0, tabulor::schema::kMaxPatients));
    } else if (arg == "--seed") {
      options.seed = static_cast<uint64_t>(ParseInteger(arg, value(), 0, 1LL << 62));
    } else if (arg == "--stray-users") {
      options.stray_users_files = true;
    } else if (arg == "--share-with") {
      const std::string text = value();
      const size_t colon = text.find(':');
      if (colon == std::string::npos) Fail("--share-with expects SEED:PATIENTS");
      options.share_seed = static_cast<uint64_t>(ParseInteger(arg, text.substr(0, colon), 0, 1LL << 62));
      options.share_patients = static_cast<int>(ParseInteger(arg, text.substr(colon + 1), 1, 1000000));
    } else if (arg == "--share") {
      const std::string text = value();
      char* end = nullptr;
      options.share = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || options.share < 0 || options.share > 1)
        Fail("--share expects a number from 0 to 1: " + text);
    } else if (!arg.empty() && arg[0] == '-') {
      Fail("unknown option " + std::string(arg));
    } else if (dir.empty()) {
      dir = arg;
    } else {
      Fail("only one directory may be given");
    }
  }
  if (!has_version) Fail("--version is required");
  if (dir.empty()) Fail("the target directory is missing");
  if (options.share > 0 && !options.share_seed) Fail("--share needs --share-with");
  if (options.stray_users_files && options.version >= 200) Fail("--stray-users only applies below version 2");
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  const GeneratorOptions options = ParseArguments(argc, argv, dir);
  try {
    const auto start = std::chrono::steady_clock::now();
    const auto counts = tabulor::schema::GeneratePracticeDatabase(dir, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("Version %s: %lld patients (%lld shared), %lld examinations, %lld measurements, "
                "%lld raw acquisitions (%lld compressed), %lld posturography rows, %lld exercises, "
                "%lld letters, %lld videos, %.1f MB of blobs in %.1f s\n",
                tabulor::schema::FormatVersion(options.version).c_str(), static_cast<long long>(counts.patients),
                static_cast<long long>(counts.shared_patients), static_cast<long long>(counts.examinations),
                static_cast<long long>(counts.measurements), static_cast<long long>(counts.data_rows),
                static_cast<long long>(counts.compressed_blobs), static_cast<long long>(counts.posturo_rows),
                static_cast<long long>(counts.exercises), static_cast<long long>(counts.documents),
                static_cast<long long>(counts.videos), counts.blob_bytes / 1e6, seconds);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tabulor-mkdb: %s\n", e.what());
    return 1;
  }
}
