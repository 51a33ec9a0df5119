#pragma once

#include "skins/skin_file.h"

#include <QByteArray>
#include <QString>

#include <vector>

// What the skin changer does, without its window: listing the skins it offers, putting one
// in force, importing new ones.
namespace skin_changer {

enum class Origin { Current, Shipped, Imported };

struct SkinEntry
{
    QString path;
    skins::Skin skin;
    Origin origin = Origin::Shipped;
    // A listed skin is read only as far as its list needs (skins::parseSkinHead()): its style
    // sheet comes with completeEntry(), when it is shown.
    bool complete = false;
};

// Where the skin changer finds and keeps skins.
struct SkinPlaces
{
    QString shippedDir;  // <program folder>/skins
    QString importedDir; // $XDG_DATA_HOME/brisquel/skins
    QString skinFile;    // Pifu.she in the working folder, the one the window watches
};

// The places for a program in `programDir`, with the user's data folder from the environment.
SkinPlaces defaultPlaces(const QString &programDir);

// The skin in force first (when there is a valid one), then the shipped skins and the
// imported ones, each folder by file name. Files that aren't skins are left out. Only the
// start of each skin is read into the entries, so many large skins list at once.
std::vector<SkinEntry> listSkins(const SkinPlaces &places);
// Reads the whole skin of `entry`, its style sheet included. Ok, or why the file can't be
// used now.
skins::SkinStatus completeEntry(SkinEntry &entry);

struct Outcome
{
    bool ok = false;
    QString error; // a Chinese sentence for the user when !ok
    QString path;  // the file written
};

// Puts the skin file `source` in force: its bytes replace places.skinFile in one safe step.
Outcome applySkin(const SkinPlaces &places, const QString &source);
// Writes `text` (a valid skin) as the skin in force.
Outcome applySkinText(const SkinPlaces &places, const QByteArray &text);
// Copies a .she file, or converts a KDE colour scheme (.colors), into the imported folder.
// A file with the same content already there is reused rather than copied again.
Outcome importSkin(const SkinPlaces &places, const QString &source);

// Why a skin file can't be used, as a Chinese sentence.
QString statusText(skins::SkinStatus status);

} // namespace skin_changer
