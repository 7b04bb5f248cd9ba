#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

class TSettingsKey;

// Ties each stored value to the widget that holds it while the program
// runs. Values are read in groups: the first value of a group that is
// absent (numbers) or of the wrong kind ends that group, and the values
// after it keep what their holder shows.
class TSettingsBinding
{
public:
    enum Kind { String, Integer, Boolean };

    struct Value
    {
        QString name;
        Kind kind;
        int group;
        std::function<QVariant()> get;
        std::function<void(const QVariant &)> set;
    };

    void add(const QString &name, Kind kind, int group, std::function<QVariant()> get,
             std::function<void(const QVariant &)> set);

    void loadGroup(const TSettingsKey &key, int group) const;
    // Writes every bound value in the order of "Save all"; values whose
    // holder does not exist yet keep what the key had.
    void saveAll(TSettingsKey &key) const;

    static const QStringList &saveOrder();
    const Value *find(const QString &name) const;

private:
    static void save(TSettingsKey &key, const Value &value);

    QList<Value> m_values;
};
