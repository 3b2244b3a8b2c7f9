#pragma once
// Reading values from the system registry.
//
// On Windows `WindowsRegistry` reads the real registry. Elsewhere there is no registry, and
// `MemoryRegistry` stands in for it: a table of keys and values that the program (or a test)
// fills. Values keep their raw bytes, so a text value stored with or without its terminating
// zero reads back exactly as it was stored.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace tamblor {

// The predefined roots, with the numbers the system gives them.
enum class RegistryRoot : uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
};

// Value types, with the system's numbers.
enum RegistryType : uint32_t {
    RegNone = 0,
    RegText = 1,         // zero-terminated text
    RegExpandText = 2,   // text with %VARIABLES%
    RegBinary = 3,
    RegNumber = 4,       // 32-bit little-endian number
    RegMultiText = 7,
};

class Registry {
public:
    enum class Status { Ok, NoKey, NoValue, TooLarge };
    struct Value {
        Status status = Status::NoKey;
        uint32_t type = RegNone;
        // Raw bytes; text is UTF-16 (little-endian) as the system stores it.
        QByteArray data;
    };

    virtual ~Registry() = default;
    // Reads one value of a key. `maxBytes` is the size of the caller's buffer: a larger value
    // is not read (TooLarge). Key paths and value names ignore case.
    virtual Value read(RegistryRoot root, const QString& keyPath, const QString& valueName,
                       qsizetype maxBytes) const = 0;
};

class MemoryRegistry : public Registry {
public:
    Value read(RegistryRoot root, const QString& keyPath, const QString& valueName,
               qsizetype maxBytes) const override;

    // Stores raw bytes of any type (creating the key).
    void setValue(RegistryRoot root, const QString& keyPath, const QString& valueName, uint32_t type,
                  const QByteArray& data);
    // Stores a text value, by default with its terminating zero as the system does.
    void setText(RegistryRoot root, const QString& keyPath, const QString& valueName, const QString& text,
                 bool withTerminator = true);
    void setNumber(RegistryRoot root, const QString& keyPath, const QString& valueName, uint32_t number);
    // Creates a key without values.
    void createKey(RegistryRoot root, const QString& keyPath);
    void removeKey(RegistryRoot root, const QString& keyPath);

private:
    static QString keyId(RegistryRoot root, const QString& keyPath);
    struct Stored {
        uint32_t type;
        QByteArray data;
    };
    QHash<QString, QHash<QString, Stored>> keys_;
};

#ifdef Q_OS_WIN
class WindowsRegistry : public Registry {
public:
    Value read(RegistryRoot root, const QString& keyPath, const QString& valueName,
               qsizetype maxBytes) const override;
};
#endif

// The keys under which Windows names its system information tool.
namespace SysInfoKeys {
inline constexpr const char* PathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* PathValue = "PATH";
inline constexpr const char* FolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* FolderValue = "MSINFO";
} // namespace SysInfoKeys

// The first system information tool found in `searchPaths` (the PATH when empty), or an empty
// text: hardinfo, KDE's info centre, a system monitor and the like.
QString findSystemInformationTool(const QStringList& searchPaths = {});

// A stand-in registry that names `toolPath` (when not empty) under the first system
// information key, as Windows does for its own tool.
std::unique_ptr<MemoryRegistry> systemInformationRegistry(const QString& toolPath);

// The registry of this system: the real one on Windows; elsewhere the stand-in above with the
// system information tool found on the PATH.
std::unique_ptr<Registry> systemRegistry();

} // namespace tamblor
