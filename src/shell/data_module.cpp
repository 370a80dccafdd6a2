#include "shell/data_module.h"

#include "shell/file_names.h"
#include "shell/language.h"
#include "shell/msg.h"
#include "shell/program_dir.h"
#include "shell/schema_version.h"

namespace tabulor::shell {

namespace {
constexpr const char* kDatabaseName = "DB";
constexpr const char* kDataDirName = "DATA";
}  // namespace

TF_Data::TF_Data(DataModuleSetup setup)
    : DB(setup.session ? *setup.session : db::Session::Default(), kDatabaseName),
      tVersion(setup.session ? *setup.session : db::Session::Default(), kDatabaseName, "Version.db"),
      session_(setup.session ? *setup.session : db::Session::Default()),
      setup_(std::move(setup)) {}

TF_Data::~TF_Data() {
  try {
    DataModuleDestroy();
  } catch (...) {
    // Closing at the end of the program has nobody left to tell.
  }
}

void TF_Data::DataModuleCreate() {
  DB.Close();
  settings_ = MainSettings{};
  locale_ = 0;
  SetProgramDir(DirectoryWithSeparator(setup_.program_file.empty() ? RunningProgramFile() : setup_.program_file));

  settings_ = ReadMainSettings(ProgramDir());
  const std::string& alias = settings_.alias_name;
  if (settings_.create_alias) {
    // Only the running program's session changes; no alias file is written.
    if (session_.AliasExists(alias)) session_.DeleteAlias(alias);
    session_.AddAlias(alias, FileInDirNoCase(ProgramDir(), kDataDirName), "PARADOX");
  } else {
    try {
      session_.AliasPath(alias);
    } catch (const db::EngineError&) {
      (setup_.messages ? *setup_.messages : Messages()).ShowMessage(msg::AliasNotFound(alias));
      if (setup_.status) {
        setup_.status->RequestTermination();
        setup_.status->RecordFailure();
      }
      return;
    }
  }
  DB.SetAliasName(alias);
  DB.Open();

  const int locale = LocaleForLanguage(settings_.language);
  if (setup_.switch_language) setup_.switch_language(locale);
  else SwitchLanguage(locale, ProgramDir());
  locale_ = locale;
}

void TF_Data::DataModuleDestroy() {
  if (tVersion.Active()) tVersion.Close();
  DB.Close();
}

int32_t TF_Data::SchemaVersion() {
  tVersion.Open();
  struct Closer {
    db::Table& table;
    ~Closer() {
      try {
        table.Close();
      } catch (...) {
        // The read's own error, if any, is the one worth telling.
      }
    }
  } closer{tVersion};
  tVersion.First();
  // An empty table reads its field as 0, which is then the version.
  float lowest = tVersion.Eof() ? 0.0f : static_cast<float>(tVersionVersion().AsFloat());
  for (; !tVersion.Eof(); tVersion.Next()) {
    const float v = static_cast<float>(tVersionVersion().AsFloat());
    if (v < lowest) lowest = v;
  }
  return VersionTimes100(lowest);
}

db::Field& TF_Data::tVersionNomTable() { return tVersion.FieldByName("NomTable"); }
db::Field& TF_Data::tVersionVersion() { return tVersion.FieldByName("Version"); }

}  // namespace tabulor::shell
