#pragma once

// Where the server's configuration lives: an INI file read through QSettings.
//
// The file named on the command line wins, then the one in TAURELIN_CONFIG, then the user's
// "Vindrelok/Taurelin.conf" under $XDG_CONFIG_HOME (~/.config).

#include <QString>

#include <memory>

class QSettings;

namespace taurelin {

std::unique_ptr<QSettings> OpenConfigurationStore(const QString& fileFromCommandLine);

// The group that holds an instance's values ("Software/Vindrelok/Taurelin/API[/INSTANCE]").
QString ConfigurationGroup(const QString& instance);

}  // namespace taurelin
