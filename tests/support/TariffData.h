// Price lists made for the tests.
#pragma once

#include "data/TDM.h"
#include "data/TariffStore.h"
#include "data/Tariffs.h"

namespace test {

/// A rule of `zone` for numbers of `digits` digits beginning with `prefix`, at `kopecks` a
/// minute, billed by the whole minute.
inline tariff::Rule zoneRule(const QString& zone, const QString& prefix, int digits, qint64 kopecks)
{
    tariff::Rule r;
    r.zone = zone;
    r.prefix = prefix;
    r.minLength = r.maxLength = digits;
    r.minutePrice = kopecks * tariff::PriceUnit / 100;
    return r;
}

/// Stores the rules as the database's one plan, the default of every line.
inline void storeDefaultPlan(TDM& dm, std::vector<tariff::Rule> rules)
{
    tariff::Plan city;
    city.name = QStringLiteral("Город");
    city.isDefault = true;
    city.rules = std::move(rules);
    tariff::save(dm, {city}, {});
}

} // namespace test
