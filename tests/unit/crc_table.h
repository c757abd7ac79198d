#pragma once
// Gives a test the CRC table that start-up builds for the program.
#include <gtest/gtest.h>

#include "decode/crc32.h"
#include "startup/sfx_globals.h"

class WithCrcTable : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSfxGlobals();
        Sfx.CrcTable = (uint32_t*)AllocateBlock(kCrcBlockSize);
        BuildCrcTable();
    }
    void TearDown() override {
        ReleaseBlock(Sfx.CrcTable);
        Sfx.CrcTable = nullptr;
    }
};
