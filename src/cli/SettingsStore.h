// The operator's settings file as the app layer's store: the file and its
// place are platform/SettingsFile.h's, the text's meaning app/UserSettings.h's.
#pragma once

#include <string>
#include <utility>

#include "app/UserSettings.h"
#include "platform/SettingsFile.h"

namespace kv7::cli {

class SettingsFileStore final : public iSettingsStore {
public:
    explicit SettingsFileStore(std::string path) : file(std::move(path)) {}

    bool load(std::string& text, std::string& error) override { return file.load(text, error); }
    bool save(const std::string& text, std::string& error) override { return file.save(text, error); }
    const std::string& path() const { return file.path(); }

private:
    SettingsFile file;
};

}  // namespace kv7::cli
