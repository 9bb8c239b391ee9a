#include "Plist.h"

#include <QDateTime>
#include <QVariantList>
#include <QVariantMap>
#include <cstring>
#include <plist/plist.h>

namespace pierline {
namespace {

// libplist counts dates from the reference date 2001-01-01.
constexpr qint64 kReferenceDateOffset = 978307200;

struct PlistHolder {
    plist_t node = nullptr;
    ~PlistHolder() {
        if (node)
            plist_free(node);
    }
};

std::optional<QVariant> toVariant(plist_t node, int depth) {
    if (!node || depth > 512)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return QVariant(b != 0);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return QVariant(static_cast<qint64>(v));
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return QVariant(v);
    }
    case PLIST_STRING: {
        char* s = nullptr;
        plist_get_string_val(node, &s);
        QString text = s ? QString::fromUtf8(s) : QString();
        free(s);
        return QVariant(text);
    }
    case PLIST_DATA: {
        char* d = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &d, &len);
        QByteArray bytes(d, static_cast<qsizetype>(len));
        free(d);
        return QVariant(bytes);
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        qint64 ms = (static_cast<qint64>(sec) + kReferenceDateOffset) * 1000 + usec / 1000;
        return QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            auto item = toVariant(plist_array_get_item(node, i), depth + 1);
            if (!item)
                return std::nullopt;
            list.append(*item);
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        if (!it)
            return QVariant(map);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                free(key);
                break;
            }
            auto item = toVariant(value, depth + 1);
            if (!item) {
                free(key);
                free(it);
                return std::nullopt;
            }
            map.insert(key ? QString::fromUtf8(key) : QString(), *item);
            free(key);
        }
        free(it);
        return QVariant(map);
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return QVariant(static_cast<qint64>(v));
    }
    default:
        return std::nullopt;
    }
}

plist_t fromVariant(const QVariant& value, QString* error) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString: {
        const QByteArray utf8 = value.toString().toUtf8();
        return plist_new_string(utf8.constData());
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
        const qint64 sec = ms / 1000 - kReferenceDateOffset;
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>((ms % 1000) * 1000));
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList()) {
            plist_t child = fromVariant(item, error);
            if (!child) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, child);
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_t child = fromVariant(it.value(), error);
            if (!child) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), child);
        }
        return dict;
    }
    default:
        if (error)
            *error = QStringLiteral("value of type %1 has no property-list form").arg(value.typeName());
        return nullptr;
    }
}

// libplist aborts on an assertion when asked for a key or string that holds a NUL character,
// so such lists are refused before any value is read. Its XML writer copies text with its full
// length, which makes a hidden NUL visible in a trial serialisation.
bool holdsNulText(plist_t node) {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    if (!xml)
        return true;
    const bool nul = std::memchr(xml, 0, length) != nullptr;
    plist_to_xml_free(xml);
    return nul;
}

} // namespace

PlistParseResult parsePlist(const QByteArray& bytes) {
    PlistParseResult result;
    if (bytes.isEmpty()) {
        result.error = QStringLiteral("The data couldn't be read because it isn't in the correct format.");
        return result;
    }
    PlistHolder holder;
    const bool binary = plist_is_binary(bytes.constData(), static_cast<uint32_t>(bytes.size()));
    if (binary) {
        plist_from_bin(bytes.constData(), static_cast<uint32_t>(bytes.size()), &holder.node);
        if (holder.node && holdsNulText(holder.node)) {
            plist_free(holder.node);
            holder.node = nullptr;
        }
    } else {
        // The XML reader wants an XML document; anything else is not a property list.
        const QByteArray head = bytes.left(256).trimmed();
        // A NUL is never part of an XML document.
        const bool xml = head.startsWith("<?xml") || head.startsWith("<!DOCTYPE") || head.startsWith("<plist");
        if (xml && !bytes.contains('\0')) {
            plist_from_xml(bytes.constData(), static_cast<uint32_t>(bytes.size()), &holder.node);
        }
    }
    if (!holder.node) {
        result.error = QStringLiteral("The data couldn't be read because it isn't in the correct format.");
        return result;
    }
    result.value = toVariant(holder.node, 0);
    if (!result.value) {
        result.error = QStringLiteral("The data couldn't be read because it contains an unsupported value.");
    }
    return result;
}

std::optional<QByteArray> plistToXml(const QVariant& value, QString* error) {
    PlistHolder holder;
    holder.node = fromVariant(value, error);
    if (!holder.node)
        return std::nullopt;
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(holder.node, &xml, &length);
    if (!xml) {
        if (error)
            *error = QStringLiteral("could not serialise the property list");
        return std::nullopt;
    }
    QByteArray out(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    return out;
}

} // namespace pierline
