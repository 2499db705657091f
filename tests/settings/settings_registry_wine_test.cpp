// Reading "Current" and writing "New" against the real registry and the stand-in service.
#include "sensorctl/settings/settings_registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "tests/support/wine_support.h"

namespace {

std::vector<BYTE> Bytes(const SettingsBlock& block) {
  return std::vector<BYTE>(block.bytes, block.bytes + kSettingsBlockSize);
}

SettingsBlock RandomBlock(std::mt19937& random) {
  SettingsBlock block;
  for (auto& byte : block.bytes) byte = static_cast<std::uint8_t>(random());
  return block;
}

std::optional<std::vector<BYTE>> MachineValue(const wchar_t* name) {
  return ReadBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name);
}

bool WriteCurrent(const std::vector<BYTE>& bytes) {
  return WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current", bytes.data(),
                          static_cast<DWORD>(bytes.size()));
}

bool WriteCurrent(const SettingsBlock& block) { return WriteCurrent(Bytes(block)); }

// Wine counts no handles in GetProcessHandleCount, but it hands out the lowest free slot: a key
// opened now gets the value one opened earlier got only if nothing opened in between is still
// open. Both predefined roots are touched, so their cached handles exist before the first probe.
HKEY NextFreeHandleSlot() {
  HKEY probe = nullptr;
  RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &probe);
  RegCloseKey(probe);
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &probe);
  RegCloseKey(probe);
  return probe;
}

// Every test starts with the service running, a known "Current", no "New", nothing under
// HKEY_CURRENT_USER and both blocks zero; the registry is put back as it was afterwards.
class SettingsRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    savedCurrent_ = MachineValue(L"Current");
    savedNew_ = MachineValue(L"New");
    ASSERT_TRUE(InstallStandIn());
    ASSERT_TRUE(StartStandIn());
    ASSERT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New"));
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsKeyPath));
    currentBlock = {};
    workingBlock = {};
  }

  void TearDown() override {
    StartStandIn();
    if (savedCurrent_) WriteCurrent(*savedCurrent_);
    if (savedNew_) {
      WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New", savedNew_->data(),
                       static_cast<DWORD>(savedNew_->size()));
    } else {
      DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New");
    }
    DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsKeyPath);
  }

  // "Current" holds a random block that the program has read; workingBlock is its copy, as
  // after the controls have been built.
  SettingsBlock StartFromRandomCurrent(unsigned seed,
                                       const std::function<void(SettingsBlock&)>& prepare = {}) {
    std::mt19937 random(seed);
    SettingsBlock stored = RandomBlock(random);
    if (prepare) prepare(stored);
    EXPECT_TRUE(WriteCurrent(stored));
    EXPECT_EQ(ReadCurrentSettings(), 1);
    EXPECT_EQ(Bytes(currentBlock), Bytes(stored));
    workingBlock = currentBlock;
    return stored;
  }

 private:
  std::optional<std::vector<BYTE>> savedCurrent_;
  std::optional<std::vector<BYTE>> savedNew_;
};

// --- ReadCurrentSettings ---

// A "Current" of up to 128 bytes is read, its missing bytes as zero; a longer one, none, or no
// key leaves the copy as it was. (Every test below reads a whole block first.)
TEST_F(SettingsRegistryTest, CurrentOfAnyLengthOrNoneIsReadOrKeepsThePreviousCopy) {
  std::mt19937 random(2);
  constexpr long kNoValue = -1, kNoKey = -2;
  for (long size : {0L, 1L, 10L, 127L, 129L, 256L, 4096L, kNoValue, kNoKey}) {
    const SettingsBlock previous = RandomBlock(random);
    currentBlock = previous;
    std::vector<BYTE> stored(std::max(size, 0L));
    for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<BYTE>(0x11 + i);
    const bool ready =
        size >= 0 ? WriteCurrent(stored)
        : size == kNoValue ? DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current")
                           : DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    ASSERT_TRUE(ready) << size;

    const bool read = size >= 0 && size <= static_cast<long>(kSettingsBlockSize);
    EXPECT_EQ(ReadCurrentSettings(), read ? 1 : 0) << size;
    std::vector<BYTE> expected = Bytes(previous);
    if (read) {
      expected.assign(kSettingsBlockSize, 0);
      std::copy(stored.begin(), stored.end(), expected.begin());
    }
    EXPECT_EQ(Bytes(currentBlock), expected) << size;
  }
}

// --- WriteNewSettings ---

TEST_F(SettingsRegistryTest, EqualBlocksWriteNothingSendNothingAndReadNothing) {
  SettingsBlock stored = StartFromRandomCurrent(4);
  SetSensorEnabled(workingBlock, SensorEnabled(stored));  // picking what is stored changes nothing
  SetOnDelayRow(workingBlock, OnDelayCheckRow(stored) < 3 ? OnDelayCheckRow(stored) : 5);
  // "Current" changes behind the program's back: an equal apply must not read it again.
  std::mt19937 random(40);
  SettingsBlock changedBehind = RandomBlock(random);
  ASSERT_TRUE(WriteCurrent(changedBehind));
  size_t mark = StandInLogMark();

  WriteNewSettings();

  EXPECT_EQ(MachineValue(L"New"), std::nullopt);
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());
  EXPECT_EQ(Bytes(currentBlock), Bytes(stored));
  EXPECT_EQ(Bytes(workingBlock), Bytes(stored));
}

struct FieldEdit {
  const char* name;
  std::function<void(SettingsBlock&)> before;  // what "Current" holds in the field
  std::function<void(SettingsBlock&)> pick;    // the user's pick, which differs from it
};

const FieldEdit kEdits[] = {
    {"disable the sensor", [](SettingsBlock& b) { SetSensorEnabled(b, true); },
     [](SettingsBlock& b) { SetSensorEnabled(b, false); }},
    {"enable the sensor", [](SettingsBlock& b) { SetSensorEnabled(b, false); },
     [](SettingsBlock& b) { SetSensorEnabled(b, true); }},
    {"Maximum over code 1", [](SettingsBlock& b) { b.bytes[0] = (b.bytes[0] & 0xF9) | 0x02; },
     [](SettingsBlock& b) { SetRangeRow(b, 1); }},
    {"Minimum over Maximum", [](SettingsBlock& b) { SetRangeRow(b, 1); },
     [](SettingsBlock& b) { SetRangeRow(b, 0); }},
    {"10 seconds over 15 minutes", [](SettingsBlock& b) { b.bytes[1] = (b.bytes[1] & 0xF0) | 7; },
     [](SettingsBlock& b) { SetOffDelayRow(b, 0); }},
    {"3 minutes over 1 minute", [](SettingsBlock& b) { SetOffDelayRow(b, 1); },
     [](SettingsBlock& b) { SetOffDelayRow(b, 2); }},
    {"on after 1 second over code 9",
     [](SettingsBlock& b) { b.bytes[1] = (b.bytes[1] & 0x0F) | 0x90; },
     [](SettingsBlock& b) { SetOnDelayRow(b, 1); }},
    {"on after 0.5 seconds over 3", [](SettingsBlock& b) { SetOnDelayRow(b, 2); },
     [](SettingsBlock& b) { SetOnDelayRow(b, 0); }},
};

TEST_F(SettingsRegistryTest, OneChangedFieldIsWrittenSentAndReadBack) {
  unsigned seed = 100;
  for (const FieldEdit& edit : kEdits) {
    SCOPED_TRACE(edit.name);
    SettingsBlock stored = StartFromRandomCurrent(++seed, edit.before);
    edit.pick(workingBlock);
    ASSERT_TRUE(BlocksDiffer(workingBlock, currentBlock));
    SettingsBlock picked = workingBlock;
    size_t mark = StandInLogMark();

    WriteNewSettings();

    EXPECT_EQ(MachineValue(L"New"), Bytes(picked));
    EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{200});
    // The service took "New" up before the control call returned, and it was read back.
    EXPECT_EQ(MachineValue(L"Current"), Bytes(picked));
    EXPECT_EQ(Bytes(currentBlock), Bytes(picked));
    EXPECT_EQ(Bytes(workingBlock), Bytes(picked));
    EXPECT_NE(Bytes(stored), Bytes(picked));
    ASSERT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New"));
  }
}

TEST_F(SettingsRegistryTest, StoppedServiceGetsNoCodeButNewIsWrittenAndCurrentReadAgain) {
  SettingsBlock stored = StartFromRandomCurrent(7, [](SettingsBlock& b) { SetOffDelayRow(b, 0); });
  SetOffDelayRow(workingBlock, 2);
  SettingsBlock picked = workingBlock;
  ASSERT_TRUE(StopStandIn());
  // Someone else changes "Current" meanwhile: the read after the write must see it.
  SettingsBlock elsewhere = stored;
  elsewhere.bytes[100] ^= 0xFF;
  ASSERT_TRUE(WriteCurrent(elsewhere));
  size_t mark = StandInLogMark();

  WriteNewSettings();

  EXPECT_EQ(MachineValue(L"New"), Bytes(picked));
  EXPECT_EQ(MachineValue(L"Current"), Bytes(elsewhere));
  EXPECT_EQ(Bytes(currentBlock), Bytes(elsewhere));
  EXPECT_EQ(Bytes(workingBlock), Bytes(picked)) << "workingBlock is never refreshed";
  ASSERT_TRUE(StartStandIn());
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());
}

TEST_F(SettingsRegistryTest, WithoutTheMachineKeyNewGoesUnderTheCurrentUser) {
  StartFromRandomCurrent(8, [](SettingsBlock& b) { SetRangeRow(b, 0); });
  SettingsBlock previous = currentBlock;
  SetRangeRow(workingBlock, 1);
  ASSERT_TRUE(DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath));
  size_t mark = StandInLogMark();

  WriteNewSettings();

  EXPECT_EQ(ReadBinaryValue(HKEY_CURRENT_USER, kSettingsKeyPath, L"New"), Bytes(workingBlock));
  EXPECT_EQ(MachineValue(L"New"), std::nullopt);
  // The code still goes out; nothing came back, so the copy of "Current" stays.
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{200});
  EXPECT_EQ(Bytes(currentBlock), Bytes(previous));
}

TEST_F(SettingsRegistryTest, NoKeyHandleOutlivesAnOperation) {
  StartFromRandomCurrent(9);
  NextFreeHandleSlot();
  HKEY before = NextFreeHandleSlot();
  for (int round = 0; round < 40; ++round) {
    // Half the rounds with the machine key, half without: "New" then goes to the user's key.
    if (round == 20) {
      ASSERT_TRUE(DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath));
    }
    ReadCurrentSettings();
    SetSensorEnabled(workingBlock, round % 2 == 0);
    WriteNewSettings();
  }
  EXPECT_EQ(NextFreeHandleSlot(), before);
}

}  // namespace
