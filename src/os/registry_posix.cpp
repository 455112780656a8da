#include "os/registry.h"

#include <QEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <charconv>
#include <cstring>
#include <optional>

// The current user's hive lives in one INI file. Only the product key and its subkeys are kept: the
// product key's own values at the top level, each subkey as a group ("Main", "Layout", "Layout-Summary").
// Every value is stored as a text; its registry type is told by a prefix where it is not a plain string:
//   dword:0000000a        a 32-bit number
//   hex(N):01,ff,...      data of type N (3 binary, 1 a string whose bytes are not valid UTF-8)
//   sz:...                a string that itself begins with one of these prefixes
// so a hand-edited file stays readable and a number value is never mistaken for a text.
//
// QSettings writes through a temporary file renamed over the old one and takes a lock file while it
// does, so a crash or a second copy never leaves a half-written file.

namespace {

constexpr std::string_view productKey = "software\\brannoc\\vendrel";
constexpr std::uint32_t regSz = 1;
constexpr std::uint32_t regBinary = 3;
constexpr std::uint32_t regDword = 4;

struct Value
{
    std::uint32_t type = 0;
    std::string data;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The subkey path below the product key ("" for the key itself), or nullopt for any other key.
std::optional<std::string> subkeyOf(Hive hive, std::string_view keyPath)
{
    if (hive != Hive::CurrentUser)
        return std::nullopt;
    while (!keyPath.empty() && keyPath.front() == '\\')
        keyPath.remove_prefix(1);
    while (!keyPath.empty() && keyPath.back() == '\\')
        keyPath.remove_suffix(1);
    if (keyPath.size() < productKey.size() || !equalsIgnoringCase(keyPath.substr(0, productKey.size()), productKey))
        return std::nullopt;
    std::string_view rest = keyPath.substr(productKey.size());
    if (!rest.empty() && rest.front() != '\\')
        return std::nullopt; // "...\VendrelX" is another key
    while (!rest.empty() && rest.front() == '\\')
        rest.remove_prefix(1);
    return std::string(rest);
}

QString fromBytes(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

std::string toBytes(const QString& text)
{
    return text.toStdString();
}

bool isValidUtf8(std::string_view bytes)
{
    return toBytes(fromBytes(bytes)) == bytes;
}

std::string hexList(std::string_view data)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 3);
    for (unsigned char c : data) {
        if (!out.empty())
            out += ',';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> parseHexList(std::string_view text)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ',' || text[i] == ' ') {
            ++i;
            continue;
        }
        unsigned value = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + std::min(text.size(), i + 2), value, 16);
        if (ec != std::errc() || end == text.data() + i)
            return std::nullopt;
        out += char(value);
        i = size_t(end - text.data());
    }
    return out;
}

Value decode(const QVariant& variant)
{
    QString text;
    if (variant.typeId() == QMetaType::QStringList)
        text = variant.toStringList().join(u','); // an unquoted "500,2000" edited by hand
    else if (variant.typeId() == QMetaType::QByteArray)
        return {regSz, variant.toByteArray().toStdString()};
    else if (variant.typeId() == QMetaType::QString)
        text = variant.toString();
    else
        return {};

    const std::string raw = toBytes(text);
    std::string_view s = raw;
    if (s.starts_with("sz:"))
        return {regSz, std::string(s.substr(3))};
    if (s.starts_with("dword:")) {
        std::uint32_t number = 0;
        const std::string_view digits = s.substr(6);
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
        if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
            return {};
        return {regDword, std::string(reinterpret_cast<const char*>(&number), 4)};
    }
    if (s.starts_with("hex")) {
        std::uint32_t type = regBinary;
        std::string_view rest = s.substr(3);
        if (rest.starts_with("(")) {
            const size_t close = rest.find(')');
            if (close == std::string_view::npos)
                return {};
            auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + close, type, 16);
            if (ec != std::errc() || end != rest.data() + close)
                return {};
            rest.remove_prefix(close + 1);
        }
        if (!rest.starts_with(":"))
            return {};
        auto data = parseHexList(rest.substr(1));
        if (!data)
            return {};
        return {type, *data};
    }
    return {regSz, raw};
}

QString encode(const Value& value)
{
    if (value.type == regSz) {
        if (!isValidUtf8(value.data))
            return QStringLiteral("hex(1):") + fromBytes(hexList(value.data));
        const std::string_view s = value.data;
        if (s.starts_with("sz:") || s.starts_with("dword:") || s.starts_with("hex"))
            return QStringLiteral("sz:") + fromBytes(s);
        return fromBytes(s);
    }
    if (value.type == regDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        std::memcpy(&number, value.data.data(), 4);
        return QStringLiteral("dword:%1").arg(number, 8, 16, QLatin1Char('0'));
    }
    return QStringLiteral("hex(%1):").arg(value.type, 0, 16) + fromBytes(hexList(value.data));
}

// QSettings writes its file on its own at the next turn of the event loop after a change; the registry
// decides when the file is written (at once, or at the end of a batch), so that turn is passed over.
class IniFile final : public QSettings
{
public:
    explicit IniFile(const QString& path) : QSettings(path, QSettings::IniFormat) {}

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            return true;
        return QSettings::event(event);
    }
};

} // namespace

struct Registry::Impl
{
    explicit Impl(const std::string& path) : settings(QString::fromStdString(path)) {}

    // The group of a subkey as it is spelled in the file (subkeys compare without regard to case).
    QString groupOf(const std::string& subkey)
    {
        const QStringList parts = fromBytes(subkey).split(u'\\', Qt::SkipEmptyParts);
        QStringList path;
        for (const QString& part : parts) {
            QString found = part;
            const QStringList children = settings.childGroups();
            for (const QString& child : children) {
                if (child.compare(part, Qt::CaseInsensitive) == 0) {
                    found = child;
                    break;
                }
            }
            path << found;
            settings.beginGroup(found);
        }
        for (qsizetype i = 0; i < parts.size(); ++i)
            settings.endGroup();
        return path.join(u'/');
    }

    QString nameIn(std::string_view name)
    {
        const QString wanted = fromBytes(name);
        const QStringList keys = settings.childKeys();
        for (const QString& key : keys) {
            if (key.compare(wanted, Qt::CaseInsensitive) == 0)
                return key;
        }
        return wanted;
    }

    Value read(Hive hive, std::string_view keyPath, std::string_view name)
    {
        const auto subkey = subkeyOf(hive, keyPath);
        if (!subkey)
            return {};
        if (!batch)
            settings.sync(); // pick up what another copy of the program wrote
        settings.beginGroup(groupOf(*subkey));
        Value value = decode(settings.value(nameIn(name)));
        settings.endGroup();
        return value;
    }

    void write(Hive hive, std::string_view keyPath, std::string_view name, const Value& value)
    {
        const auto subkey = subkeyOf(hive, keyPath);
        if (!subkey)
            return;
        settings.beginGroup(groupOf(*subkey));
        settings.setValue(nameIn(name), encode(value));
        settings.endGroup();
        if (!batch)
            settings.sync();
    }

    IniFile settings;
    int batch = 0;
};

Registry::Registry(std::string userStore) : m_impl(std::make_unique<Impl>(userStore)) {}

Registry::~Registry()
{
    m_impl->settings.sync();
}

bool Registry::isTestStore() const
{
    return false;
}

std::string Registry::defaultUserStore()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return toBytes(folder + QStringLiteral("/Brannoc/Vendrel.conf"));
}

std::string Registry::readString(Hive hive, std::string_view keyPath, std::string_view name,
                                 std::string_view defaultText) const
{
    const Value value = m_impl->read(hive, keyPath, name);
    std::string text;
    if (value.type == regSz)
        text = value.data.substr(0, value.data.find('\0'));
    return text.empty() ? std::string(defaultText) : text;
}

void Registry::writeString(Hive hive, std::string_view keyPath, std::string_view name, std::string_view text)
{
    m_impl->write(hive, keyPath, name, {regSz, std::string(text)});
}

std::int32_t Registry::readDword(Hive hive, std::string_view keyPath, std::string_view name) const
{
    const Value value = m_impl->read(hive, keyPath, name);
    if (value.type != regDword || value.data.size() != 4)
        return 0;
    std::int32_t number = 0;
    std::memcpy(&number, value.data.data(), 4);
    return number;
}

void Registry::writeDword(Hive hive, std::string_view keyPath, std::string_view name, std::uint32_t value)
{
    m_impl->write(hive, keyPath, name, {regDword, std::string(reinterpret_cast<const char*>(&value), 4)});
}

std::string Registry::readBinary(Hive hive, std::string_view keyPath, std::string_view name) const
{
    const Value value = m_impl->read(hive, keyPath, name);
    return value.type == regSz || value.type == regDword ? std::string() : value.data;
}

void Registry::writeBinary(Hive hive, std::string_view keyPath, std::string_view name, std::string_view data,
                           std::uint32_t type)
{
    m_impl->write(hive, keyPath, name, {type, std::string(data)});
}

void Registry::deleteValue(Hive hive, std::string_view keyPath, std::string_view name)
{
    const auto subkey = subkeyOf(hive, keyPath);
    if (!subkey)
        return;
    m_impl->settings.beginGroup(m_impl->groupOf(*subkey));
    m_impl->settings.remove(m_impl->nameIn(name));
    m_impl->settings.endGroup();
    if (!m_impl->batch)
        m_impl->settings.sync();
}

void Registry::deleteKey(Hive hive, std::string_view keyPath)
{
    const auto subkey = subkeyOf(hive, keyPath);
    if (!subkey)
        return;
    if (subkey->empty()) {
        m_impl->settings.clear();
    } else {
        m_impl->settings.remove(m_impl->groupOf(*subkey));
    }
    if (!m_impl->batch)
        m_impl->settings.sync();
}

void Registry::beginBatch()
{
    ++m_impl->batch;
}

void Registry::endBatch()
{
    if (m_impl->batch > 0 && --m_impl->batch == 0)
        m_impl->settings.sync();
}
