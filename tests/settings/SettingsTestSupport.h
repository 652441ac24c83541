#pragma once

#include <gtest/gtest.h>

#include <string>

// Points the settings store and the cache at private folders for the test's lifetime.
class PrivateSettingsFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string storeFile() const; // HKEY_CURRENT_USER's file
    void writeStore(const std::string& text) const;
    std::string readStore() const;

    std::string root_;
};
