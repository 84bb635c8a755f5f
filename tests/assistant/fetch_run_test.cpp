#include "assistant/fetch_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "assistant/assistant_settings.h"
#include "assistant/server_addresses.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "shared/fixed_clock.h"
#include "shared/ini_file.h"
#include "shared/stored_time.h"
#include "support/fake_http_client.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

namespace fs = std::filesystem;

class MemoryLog : public FetchLog {
 public:
  void Clear() override { lines.clear(); }
  void Append(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

DateTime At(int year, int month, int day, int hour, int minute, int second) {
  return *DateTime::FromFields({year, month, day, hour, minute, second, 0});
}

const DateTime kListTime = At(2026, 11, 30, 21, 5, 7);
const DateTime kNow = At(2026, 12, 8, 12, 0, 0);

// Log lines in code page 932: "更新完了", "更新済み", "取得終了".
std::string Converted(const std::string& name) {
  return name + " => \x8D\x58\x90\x56\x8A\xAE\x97\xB9";
}
std::string UpToDate(const std::string& name) {
  return name + " => \x8D\x58\x90\x56\x8D\xCF\x82\xDD";
}
const std::string kFinished = "= \x8E\xE6\x93\xBE\x8F\x49\x97\xB9 =";

// "表示" and "能": second bytes 0x5C, which must reach the file untouched.
const std::string kHyoji = "\x95\x5C\x8E\xA6";
const std::string kNo = "\x94\x5C";

// A literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

FilePath Path(const std::string& text) { return FilePath::FromText(text); }

const std::string& Address(int row) { return ServerAddressTable().at(row).address; }

class FetchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.prefix();
    inputs_ = {root_ + "out/", ".ini", root_, "maps.test:8080", Path(root_ + "Zoneroll.ini")};
    fs::create_directories(root_ + "out");
  }

  std::string Url(std::string_view world) const { return MapListUrl(inputs_.host, world); }
  void ScriptAll(std::optional<DateTime> time, const std::string& body) {
    for (std::string_view world : kAssistantWorlds) http_.Serve(Url(world), time, body);
  }
  void Run() { RunFetch(inputs_, http_, clock_, log_); }
  // No per-world files, no record, no requests.
  void Reset() {
    fs::remove_all(root_ + "out");
    fs::create_directories(root_ + "out");
    fs::remove(root_ + "Zoneroll.ini");
    http_.requests.clear();
  }

  FilePath WorldPath(std::string_view world) const {
    return Path(inputs_.out_folder + std::string(world) + inputs_.file_name);
  }
  static std::string Read(const FilePath& path) {
    return ReadFileBytes(path).value_or("<missing>");
  }
  // The stored list time of `world`; nullopt when the record has no key.
  std::optional<DateTime> Stored(std::string_view world) const {
    const std::string text =
        IniFile::Load(inputs_.record_path).ReadString("Update", world, "<none>");
    if (text == "<none>") return std::nullopt;
    return ParseStoredTime(text).value_or(At(1, 1, 1, 0, 0, 0));
  }

  testing::TempDir dir_;
  std::string root_;
  FetchRunInputs inputs_;
  testing::FakeHttpClient http_;
  FixedClock clock_{kNow};
  MemoryLog log_;
};

TEST_F(FetchRunTest, ConvertsChangedListsByteForByte) {
  WriteFileAtomic(Path(root_ + "TolMap.ini"),
                  "[Map]\r\nmap01=" + kHyoji + "\r\nMAP02 = " + kNo + "\r\n");
  // An old file without a record: its contents go, the list is fetched.
  WriteFileAtomic(WorldPath("arvel"), "[Old]\r\nx=y\r\n\r\n");
  log_.lines = {"typed by the user"};
  ScriptAll(kListTime, "");
  std::string body;
  const std::string lines[] = {
      Address(11) + ",x,map01",          // listed address
      Address(12) + ",x,map01  \t\x1f",  // same map, other server; trailing junk
      Address(11) + ",x,map02,extra",    // fields beyond the third unread
      "10.9.9.9,x,map03",                // unlisted address, unknown map
      Address(11) + ",x,MAP01 ",         // duplicate: replaces in place
      "0" + Address(11) + ",x,map04",    // leading zero: no table match
      "onlytwo,fields",                  // field 3 of two fields is field 1
      "nocomma",                         // field 3 of one field is empty
  };
  for (const std::string& line : lines) body += line + "\r\n";
  http_.Serve(Url("arvel"), kListTime, body);

  Run();

  EXPECT_EQ(Read(WorldPath("arvel")),
            "[GameServer01]\r\nMAP01=" + kHyoji + "\r\nmap02=" + kNo + "\r\n\r\n" +
                "[GameServer02]\r\nmap01=" + kHyoji + "\r\n\r\n" + "[10.9.9.9]\r\nmap03=\r\n\r\n" +
                "[0" + Address(11) + "]\r\nmap04=\r\n\r\n" + "[onlytwo]\r\nonlytwo=\r\n\r\n" +
                "[nocomma]\r\n=\r\n\r\n");
  std::vector<std::string> expected_log;
  std::vector<std::string> expected_requests;
  for (std::string_view world : kAssistantWorlds) {
    expected_log.push_back(Converted(std::string(world) + ".ini"));
    expected_requests.push_back("HEAD " + Url(world));
    expected_requests.push_back("GET " + Url(world));
    EXPECT_EQ(Stored(world), kListTime) << world;
    if (world != "arvel") {
      EXPECT_EQ(Read(WorldPath(world)), "") << world;  // an empty list converts to no bytes
    }
  }
  expected_log.push_back("");
  expected_log.push_back(kFinished);
  EXPECT_EQ(log_.lines, expected_log);
  EXPECT_EQ(http_.requests, expected_requests);
  EXPECT_EQ(http_.requests[0], "HEAD http://maps.test:8080/cgi-bin/iplist/map.arvel.lst");
  // Keys in the order first written; nothing but the record in the file.
  EXPECT_EQ(Read(inputs_.record_path).rfind("[Update]\r\narvel=" + StoredTimeText(kListTime), 0),
            0u);
}

TEST_F(FetchRunTest, SecondRunFetchesOnlyWhatChanged) {
  struct Case {
    const char* name;
    bool delete_file;
    std::optional<DateTime> list_time;  // arvel's list time in the second run
    const char* record;                 // replaces arvel's stored text when set
    bool fetch;
    DateTime stored;
  };
  const Case cases[] = {
      {"unchanged", false, kListTime, nullptr, false, kListTime},
      {"same second", false, DateTime::FromMilliseconds(kListTime.milliseconds() + 400), nullptr,
       false, kListTime},
      {"file deleted", true, kListTime, nullptr, true, kListTime},
      {"newer list", false, kListTime.AddMinutes(1), nullptr, true, kListTime.AddMinutes(1)},
      {"older list", false, kListTime.AddMinutes(-1440), nullptr, true,
       kListTime.AddMinutes(-1440)},
      {"no Last-Modified", false, std::nullopt, nullptr, true, kNow},
      {"Last-Modified at time zero", false, DateTime(), nullptr, true, kNow},
      {"unreadable record", false, kListTime, "yesterday", true, kListTime},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    // Every world converted at kListTime, as a first run leaves it.
    IniFile record;
    for (std::string_view world : kAssistantWorlds) {
      WriteFileAtomic(WorldPath(world), "[GameServer01]\r\nfirst=\r\n\r\n");
      record.WriteString("Update", world, StoredTimeText(kListTime));
    }
    if (c.record != nullptr) record.WriteString("Update", "arvel", c.record);
    record.Save(inputs_.record_path);
    if (c.delete_file) fs::remove(inputs_.out_folder + "arvel.ini");
    ScriptAll(kListTime, "");
    http_.Serve(Url("arvel"), c.list_time, Address(11) + ",x,second\r\n");
    const std::string record_before = Read(inputs_.record_path);
    Run();

    EXPECT_EQ(http_.requests[0], "HEAD " + Url("arvel"));
    EXPECT_EQ(http_.requests[1] == "GET " + Url("arvel"), c.fetch);
    EXPECT_EQ(http_.requests.size(), c.fetch ? 19u : 18u);  // no other world fetched
    EXPECT_EQ(log_.lines[0], c.fetch ? Converted("arvel.ini") : UpToDate("arvel.ini"));
    EXPECT_EQ(log_.lines[1], UpToDate("bessa.ini"));
    EXPECT_EQ(Read(WorldPath("arvel")),
              c.fetch ? "[GameServer01]\r\nsecond=\r\n\r\n" : "[GameServer01]\r\nfirst=\r\n\r\n");
    EXPECT_EQ(Stored("arvel"), c.stored);
    if (!c.fetch) {
      EXPECT_EQ(Read(inputs_.record_path), record_before);
    }
  }
}

TEST_F(FetchRunTest, FailureOnFifthWorldEndsRun) {
  struct Case {
    const char* name;
    testing::FakeAnswer head, get;
    const char* message;
    bool socket;
  };
  const Case cases[] = {
      {"HEAD refused", testing::SocketFailure(), {}, "Connection refused", true},
      {"HEAD status", testing::ServerError(), {}, "HTTP/1.1 500 Internal Server Error", false},
      {"GET status", {}, testing::ServerError(), "HTTP/1.1 500 Internal Server Error", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    ScriptAll(kListTime, Address(11) + ",x,m\r\n");
    http_.On("HEAD", Url("elmira"), {c.head.error ? c.head : testing::Modified(kListTime)});
    if (c.get.error) http_.On("GET", Url("elmira"), {c.get});

    try {
      Run();
      ADD_FAILURE() << "the run did not fail";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
      EXPECT_EQ(c.socket, dynamic_cast<const ESocketError*>(&e) != nullptr);
    }

    EXPECT_EQ(log_.lines,
              (std::vector<std::string>{Converted("arvel.ini"), Converted("bessa.ini"),
                                        Converted("corin.ini"), Converted("dovan.ini")}));
    for (std::size_t i = 0; i < kAssistantWorlds.size(); ++i) {
      const std::string_view world = kAssistantWorlds[i];
      SCOPED_TRACE(world);
      if (i < 4) {
        EXPECT_EQ(Read(WorldPath(world)), "[GameServer01]\r\nm=\r\n\r\n");
        EXPECT_EQ(Stored(world), kListTime);
      } else if (i == 4) {
        // The missing file put the world back to "never converted" first.
        EXPECT_FALSE(FileExists(WorldPath(world)));
        EXPECT_EQ(Stored(world), DateTime());
      } else {
        EXPECT_FALSE(FileExists(WorldPath(world)));
        EXPECT_EQ(Stored(world), std::nullopt);
      }
    }
    EXPECT_EQ(http_.requests.back(), (c.get.error ? "GET " : "HEAD ") + Url("elmira"));
  }
}

TEST_F(FetchRunTest, UnwritableFileEndsRunNamingTheFile) {
  ScriptAll(kListTime, "");
  inputs_.out_folder = root_ + "no-such-folder/";
  try {
    Run();
    ADD_FAILURE() << "the run did not fail";
  } catch (const EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find(WorldPath("arvel").Text()), std::string::npos) << e.what();
  }
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(Stored("arvel"), DateTime());
  EXPECT_EQ(Stored("bessa"), std::nullopt);
}

TEST_F(FetchRunTest, UnreadableRecordIsNeverRewrittenFromScratch) {
  // A record larger than any file the programs read in counts as unreadable.
  ScriptAll(kListTime, "");
  testing::TempDir::Write(root_ + "Zoneroll.ini", "[Zoneroll.exe]\r\n");
  fs::resize_file(root_ + "Zoneroll.ini", kMaxFileBytes + 1);
  try {
    Run();
    ADD_FAILURE() << "the run did not fail";
  } catch (const EFCreateError& e) {
    // "ファイル "<path>" を読み込めません": reading failed, nothing was written.
    EXPECT_EQ(std::string(e.what()),
              "\x83\x74\x83\x40\x83\x43\x83\x8B \"" + inputs_.record_path.Text() +
                  "\" \x82\xF0\x93\xC7\x82\xDD\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1");
  }
  EXPECT_EQ(fs::file_size(root_ + "Zoneroll.ini"), kMaxFileBytes + 1);
}

// The window saves its texts into the record's file whenever it closes, the
// end of a session included, while a run may be storing list times there:
// each reads the whole file, changes its keys and replaces it, and neither
// may drop what the other wrote meanwhile.
TEST_F(FetchRunTest, SettingsSavedDuringARunAndTheRecordKeepEachOthersKeys) {
  inputs_.record_interval = std::chrono::milliseconds(0);  // a record write per world
  std::atomic<bool> running{true};
  int saves = 0;
  std::string settings_lost;
  std::thread settings([&] {
    AssistantSettings texts{"", ".ini", "", ""};
    for (; running && settings_lost.empty(); ++saves) {
      const std::string path =
          IniFile::Load(inputs_.record_path).ReadString("Zoneroll.exe", "Path", "<none>");
      if (saves > 0 && path != texts.path) settings_lost = texts.path + " became " + path;
      texts.path = "p" + std::to_string(saves);
      SaveAssistantSettings(inputs_.record_path, texts);
    }
  });
  for (int run = 1; run <= 10; ++run) {
    const DateTime time = kListTime.AddMinutes(run);
    ScriptAll(time, "");
    Run();
    int lost = 0;
    for (std::string_view world : kAssistantWorlds) lost += Stored(world) != time;
    EXPECT_EQ(lost, 0) << "run " << run;
  }
  running = false;
  settings.join();
  EXPECT_EQ(settings_lost, "");
  EXPECT_GT(saves, 10);
}

TEST_F(FetchRunTest, ConversionWritesAnEntryForEveryLine) {
  const std::string a = Address(11);
  struct Case {
    const char* name;
    std::optional<std::string> tolmap;
    std::string body;
    std::string file;
  };
  const Case cases[] = {
      {"no TolMap.ini", std::nullopt, a + ",x,m1\r\n", "[GameServer01]\r\nm1=\r\n\r\n"},
      {"no Map section", "[Other]\r\nm1=a\r\n", a + ",x,m1\r\n", "[GameServer01]\r\nm1=\r\n\r\n"},
      {"empty list", "[Map]\r\nm1=a\r\n", "", ""},
      {"one empty line", "[Map]\r\n=a\r\n", "\r\n", "[]\r\n=a\r\n\r\n"},
      {"LF breaks, none at the end", std::nullopt, a + ",x,m1\n" + a + ",x,m2",
       "[GameServer01]\r\nm1=\r\nm2=\r\n\r\n"},
      {"blank before the address", std::nullopt, " " + a + ",x,m1\r\n",
       "[ " + a + "]\r\nm1=\r\n\r\n"},
      {"blank inside the identifier", "[Map]\r\nm 1=b\r\n", a + ",x,m 1 \r\n",
       "[GameServer01]\r\nm 1=b\r\n\r\n"},
      {"any bytes", std::nullopt, Bytes("a\0b,\xFF,\x95\x5C\x81\r\n"),
       Bytes("[a\0b]\r\n\x95\x5C\x81=\r\n\r\n")},
  };
  const FilePath tolmap_path = Path(root_ + "TolMap.ini");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(root_ + "TolMap.ini");
    if (c.tolmap) WriteFileAtomic(tolmap_path, *c.tolmap);
    WriteFileAtomic(WorldPath("arvel"), "[Old]\r\nx=y\r\n\r\n");
    ConvertMapList(c.body, WorldPath("arvel"), tolmap_path);
    EXPECT_EQ(Read(WorldPath("arvel")), c.file);
  }
}

TEST_F(FetchRunTest, TolMapIsReadAgainForEveryWorld) {
  // A log that edits TolMap.ini after each world, as a user might meanwhile.
  class EditingLog : public MemoryLog {
   public:
    explicit EditingLog(FilePath path) : path_(std::move(path)) {}
    void Append(std::string_view line) override {
      MemoryLog::Append(line);
      WriteFileAtomic(path_, "[Map]\r\nm=" + std::to_string(lines.size()) + "\r\n");
    }

   private:
    FilePath path_;
  } log(Path(root_ + "TolMap.ini"));
  WriteFileAtomic(Path(root_ + "TolMap.ini"), "[Map]\r\nm=0\r\n");
  ScriptAll(kListTime, Address(11) + ",x,m\r\n");
  RunFetch(inputs_, http_, clock_, log);
  for (std::size_t i = 0; i < kAssistantWorlds.size(); ++i) {
    EXPECT_EQ(Read(WorldPath(kAssistantWorlds[i])),
              "[GameServer01]\r\nm=" + std::to_string(i) + "\r\n\r\n")
        << kAssistantWorlds[i];
  }
}

// With no interval, each world's list time is in the record by the time its
// log line comes, so a run cut short (the program killed) keeps the worlds
// it finished.
TEST_F(FetchRunTest, EachWorldsTimeIsStoredAsItIsDone) {
  inputs_.record_interval = std::chrono::milliseconds(0);
  class CheckingLog : public MemoryLog {
   public:
    explicit CheckingLog(std::function<bool(std::string_view)> stored_now)
        : stored_now_(std::move(stored_now)) {}
    void Append(std::string_view line) override {
      if (lines.size() < kAssistantWorlds.size()) {
        stored.push_back(stored_now_(kAssistantWorlds[lines.size()]));
      }
      MemoryLog::Append(line);
    }
    std::vector<bool> stored;

   private:
    std::function<bool(std::string_view)> stored_now_;
  } log([this](std::string_view world) { return Stored(world) == kListTime; });
  ScriptAll(kListTime, Address(11) + ",x,m\r\n");
  RunFetch(inputs_, http_, clock_, log);
  EXPECT_EQ(log.stored, std::vector<bool>(kAssistantWorlds.size(), true));
  // The default interval spares a fast run those writes: the times come at
  // its end.
  Reset();
  log.stored.clear();
  inputs_.record_interval = std::chrono::hours(1);
  RunFetch(inputs_, http_, clock_, log);
  EXPECT_EQ(log.stored, std::vector<bool>(kAssistantWorlds.size(), false));
  EXPECT_EQ(Stored(kAssistantWorlds.back()), kListTime);
}

TEST_F(FetchRunTest, FolderTextsWithoutSeparatorRunIntoFileNames) {
  inputs_.out_folder = root_ + "out";
  inputs_.file_name = ".map";
  inputs_.tolmap_folder = root_ + "tm";
  WriteFileAtomic(Path(root_ + "tmTolMap.ini"), "[Map]\r\nm1=" + kHyoji + "\r\n");
  ScriptAll(kListTime, Address(11) + ",x,m1\r\n");
  Run();
  EXPECT_EQ(Read(Path(root_ + "outarvel.map")), "[GameServer01]\r\nm1=" + kHyoji + "\r\n\r\n");
  EXPECT_FALSE(FileExists(Path(root_ + "out/arvel.map")));
  EXPECT_EQ(log_.lines.front(), Converted("arvel.map"));
}

}  // namespace
}  // namespace tol
