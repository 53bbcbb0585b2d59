#pragma once
// The user's base folders: configuration, cache, runtime, and the pictures folder.
//
// A base folder comes from its environment variable ($XDG_CONFIG_HOME, $XDG_CACHE_HOME,
// $XDG_RUNTIME_DIR) only when that holds an absolute path; an unset, empty or relative
// value is ignored, as if unset: configuration and cache then lie in ~/.config and
// ~/.cache, and there is no runtime folder (empty). A relative value would otherwise be
// taken from whatever folder the program was started in, which may be someone else's.
// The pictures folder is the XDG_PICTURES_DIR line of user-dirs.dirs in the
// configuration folder ("$HOME/..." or an absolute path), ~/Pictures without one.
#include <QByteArray>
#include <QString>

namespace xdg_dirs {

enum class Base { Config, Cache, Runtime };

// value: the environment variable's value; home: the user's home folder.
QString baseFolder(Base base, const QString &value, const QString &home);

// The pictures folder named in the content of a user-dirs.dirs file.
QString picturesFolder(const QByteArray &userDirs, const QString &home);

// The same from this process's environment and home folder.
QString configHome();
QString cacheHome();
QString runtimeFolder();
QString picturesFolder();

} // namespace xdg_dirs
