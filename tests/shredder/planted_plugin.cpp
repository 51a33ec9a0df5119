// Stands in for a plugin planted in a folder: a platform theme, the kind a desktop's name
// has Qt look for, under a name of its own. Once loaded it leaves a mark at
// $PLANTED_PLUGIN_MARK and does nothing else; Qt then goes on with its own theme.
#include <QObject>
#include <QtPlugin>

#include <cstdio>
#include <cstdlib>

namespace {

struct Mark
{
    Mark()
    {
        if (const char *path = std::getenv("PLANTED_PLUGIN_MARK")) {
            if (FILE *file = std::fopen(path, "w"))
                std::fclose(file);
        }
    }
} mark;

} // namespace

class PlantedPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformThemeFactoryInterface.5.1" FILE "planted_plugin.json")
};

#include "planted_plugin.moc"
