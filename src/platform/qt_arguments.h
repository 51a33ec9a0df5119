#pragma once

#include <string>

namespace platform {

// What a window program hands Qt of its command line: its own name and nothing else. Qt
// takes options such as -platformpluginpath from the arguments it is given, and a file's
// name is no option: `Filefs *` in a folder holding "--platformpluginpath" must list that
// file, not load plugins from the next name. The programs take their own arguments from
// argv themselves. Lives as long as the application object it is given to.
class QtArguments
{
public:
    QtArguments(int argc, char **argv, const char *programName)
        : m_name(argc > 0 && argv[0] ? argv[0] : programName)
    {
        m_values[0] = m_name.data();
        m_values[1] = nullptr;
    }
    QtArguments(const QtArguments &) = delete;
    QtArguments &operator=(const QtArguments &) = delete;

    int &count() { return m_count; }
    char **values() { return m_values; }

private:
    std::string m_name;
    int m_count = 1;
    char *m_values[2];
};

} // namespace platform
