#include "SettingsBinding.h"

#include "SettingsKey.h"

void TSettingsBinding::add(const QString &name, Kind kind, int group, std::function<QVariant()> get,
                           std::function<void(const QVariant &)> set)
{
    m_values.append({name, kind, group, std::move(get), std::move(set)});
}

const TSettingsBinding::Value *TSettingsBinding::find(const QString &name) const
{
    for (const Value &value : m_values) {
        if (value.name == name)
            return &value;
    }
    return nullptr;
}

void TSettingsBinding::loadGroup(const TSettingsKey &key, int group) const
{
    for (const Value &value : m_values) {
        if (value.group != group)
            continue;
        QVariant read;
        switch (value.kind) {
        case String:
            if (const auto text = key.readString(value.name))
                read = *text;
            break;
        case Integer:
            if (const auto number = key.readInteger(value.name))
                read = *number;
            break;
        case Boolean:
            if (const auto flag = key.readBool(value.name))
                read = *flag;
            break;
        }
        if (!read.isValid())
            return;
        value.set(read);
    }
}

void TSettingsBinding::saveAll(TSettingsKey &key) const
{
    for (const QString &name : saveOrder()) {
        if (const Value *value = find(name))
            save(key, *value);
    }
    // A value missing from the order is still written, after the others.
    for (const Value &value : m_values) {
        if (!saveOrder().contains(value.name))
            save(key, value);
    }
}

void TSettingsBinding::save(TSettingsKey &key, const Value &value)
{
    const QVariant current = value.get();
    switch (value.kind) {
    case String: key.writeString(value.name, current.toString()); break;
    case Integer: key.writeInteger(value.name, current.toInt()); break;
    case Boolean: key.writeBool(value.name, current.toBool()); break;
    }
}

const QStringList &TSettingsBinding::saveOrder()
{
    static const QStringList order = {
        "Preview", "ShowProgress", "LastDocument", "DownloadDir", "Bookmark", "Download",
        "Username", "Password", "MaxTreads", "SaveWindow", "CreateDir", "AutoSave", "BossName",
        "Beep", "FileTypes", "MinSize", "MaxSize", "AddChild", "ExpandParse", "TimeoutDoc",
        "TimeOutFile", "AutoSelectFileTypes", "AutoSelectEnabled", "IncludeThumbs", "SkipFile",
        "OverWriteFile", "RenameFile", "GetPassword", "ItemJump", "SaveHtml", "Color1", "Color2",
        "Color3", "Color4", "Color5", "Color6", "Proxy", "ProxyPort", "ProxyUsername",
        "ProxyPassword", "ProxyEnabled", "StartAllSlots", "DocParsed", "LinksParsed", "FilesDl", "BytesDl",
        "FormTop", "FormLeft", "FormHeight", "FormWidth", "DocWidth", "PreviewWidth",
    };
    return order;
}
