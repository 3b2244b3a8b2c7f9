#include "platform/Registry.h"
#include <QStandardPaths>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tamblor {

QString MemoryRegistry::keyId(RegistryRoot root, const QString& keyPath)
{
    QString path = keyPath;
    path.replace('/', '\\');
    while (path.endsWith('\\'))
        path.chop(1);
    while (path.startsWith('\\'))
        path.remove(0, 1);
    return QString::number(uint32_t(root), 16) + '\\' + path.toLower();
}

Registry::Value MemoryRegistry::read(RegistryRoot root, const QString& keyPath, const QString& valueName,
                                     qsizetype maxBytes) const
{
    Value v;
    auto key = keys_.constFind(keyId(root, keyPath));
    if (key == keys_.constEnd())
        return v; // NoKey
    auto stored = key->constFind(valueName.toLower());
    if (stored == key->constEnd()) {
        v.status = Status::NoValue;
        return v;
    }
    v.type = stored->type;
    if (stored->data.size() > maxBytes) {
        v.status = Status::TooLarge;
        return v;
    }
    v.status = Status::Ok;
    v.data = stored->data;
    return v;
}

void MemoryRegistry::setValue(RegistryRoot root, const QString& keyPath, const QString& valueName, uint32_t type,
                              const QByteArray& data)
{
    keys_[keyId(root, keyPath)][valueName.toLower()] = Stored{type, data};
}

void MemoryRegistry::setText(RegistryRoot root, const QString& keyPath, const QString& valueName,
                             const QString& text, bool withTerminator)
{
    QByteArray data;
    for (QChar c : text) {
        char16_t u = qToLittleEndian(char16_t(c.unicode()));
        data.append(reinterpret_cast<const char*>(&u), 2);
    }
    if (withTerminator)
        data.append(2, '\0');
    setValue(root, keyPath, valueName, RegText, data);
}

void MemoryRegistry::setNumber(RegistryRoot root, const QString& keyPath, const QString& valueName,
                               uint32_t number)
{
    const uint32_t le = qToLittleEndian(number);
    setValue(root, keyPath, valueName, RegNumber, QByteArray(reinterpret_cast<const char*>(&le), 4));
}

void MemoryRegistry::createKey(RegistryRoot root, const QString& keyPath)
{
    keys_[keyId(root, keyPath)];
}

void MemoryRegistry::removeKey(RegistryRoot root, const QString& keyPath)
{
    keys_.remove(keyId(root, keyPath));
}

#ifdef Q_OS_WIN
namespace {
HKEY rootHandle(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::Users: return HKEY_USERS;
    case RegistryRoot::LocalMachine: break;
    }
    return HKEY_LOCAL_MACHINE;
}
} // namespace

Registry::Value WindowsRegistry::read(RegistryRoot root, const QString& keyPath, const QString& valueName,
                                      qsizetype maxBytes) const
{
    Value v;
    HKEY key = nullptr;
    const std::wstring path = keyPath.toStdWString();
    // Read access is enough, and is granted to operators without administrator rights.
    if (RegOpenKeyExW(rootHandle(root), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return v; // NoKey
    QByteArray buffer(maxBytes, '\0');
    DWORD type = 0;
    DWORD size = DWORD(buffer.size());
    const std::wstring name = valueName.toStdWString();
    const LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (rc == ERROR_MORE_DATA) {
        v.status = Status::TooLarge;
        v.type = type;
        return v;
    }
    if (rc != ERROR_SUCCESS) {
        v.status = Status::NoValue;
        return v;
    }
    buffer.truncate(qsizetype(size));
    v.status = Status::Ok;
    v.type = type;
    v.data = buffer;
    return v;
}
#endif

QString findSystemInformationTool(const QStringList& searchPaths)
{
    // Information tools first, then system monitors, which at least show the machine's state.
    static const char* const candidates[] = {
        "hardinfo2", "hardinfo", "kinfocenter", "cpu-x", "i-nex",
        "gnome-system-monitor", "mate-system-monitor", "plasma-systemmonitor", "xfce4-taskmanager",
    };
    for (const char* name : candidates) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name), searchPaths);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

std::unique_ptr<MemoryRegistry> systemInformationRegistry(const QString& toolPath)
{
    auto registry = std::make_unique<MemoryRegistry>();
    if (!toolPath.isEmpty())
        registry->setText(RegistryRoot::LocalMachine, SysInfoKeys::PathKey, SysInfoKeys::PathValue, toolPath);
    return registry;
}

std::unique_ptr<Registry> systemRegistry()
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsRegistry>();
#else
    return systemInformationRegistry(findSystemInformationTool());
#endif
}

} // namespace tamblor
