#include "platform/registry.h"

#include <QSettings>
#include <QVariant>

namespace platform {

namespace {

constexpr auto OrganizationName = "Tessmark";
constexpr auto ApplicationName = "Brambold Free Unrar";

QSettings::Scope ScopeOf(RegistryRoot root)
{
    return root == RegistryRoot::LocalMachine ? QSettings::SystemScope : QSettings::UserScope;
}

}  // namespace

RegistryValue ReadRegistryValue(RegistryRoot root, const QString& name)
{
    QSettings settings(QSettings::NativeFormat, ScopeOf(root), OrganizationName, ApplicationName);
    // The user's key must not answer with the machine-wide value.
    settings.setFallbacksEnabled(false);
    if (!settings.contains(name))
        return {};
    const QVariant value = settings.value(name);
    if (value.typeId() != QMetaType::QString)
        return {RegistryValue::Kind::NotText, {}};
    return {RegistryValue::Kind::Text, value.toString()};
}

bool WriteRegistryText(RegistryRoot root, const QString& name, const QString& text)
{
    QSettings settings(QSettings::NativeFormat, ScopeOf(root), OrganizationName, ApplicationName);
    settings.setFallbacksEnabled(false);
    if (!settings.isWritable())
        return false;
    settings.setValue(name, text);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace platform
