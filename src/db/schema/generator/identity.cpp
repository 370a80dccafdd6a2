// Who the generated patients are, drawn from a stream of their own so that a
// second database can share patients with a first one.
#include <array>

#include "db/schema/generator/french_data.h"
#include "db/schema/generator/generator.h"
#include "db/schema/generator/random.h"

namespace tabulor::schema {
namespace {

constexpr uint64_t kIdentityStream = 0x1D;

}  // namespace

PatientIdentity IdentityOf(uint64_t seed, int index, const db::DateTime& today) {
  Rng rng(MixSeed(MixSeed(seed, kIdentityStream), static_cast<uint64_t>(index)));
  PatientIdentity identity;
  identity.female = rng.Chance(0.56);
  identity.last_name = rng.Pick(french::LastNames());
  if (rng.Chance(0.3)) identity.last_name = french::UpperCase(identity.last_name);
  if (!rng.Chance(0.03))
    identity.first_name = rng.Pick(identity.female ? french::FemaleFirstNames() : french::MaleFirstNames());
  if (!rng.Chance(0.04)) {
    static constexpr std::array<double, 3> kAgeGroups = {0.15, 0.6, 0.25};
    static constexpr std::array<std::array<int, 2>, 3> kAges = {{{3, 14}, {15, 64}, {65, 95}}};
    const auto& ages = kAges[rng.Weighted(kAgeGroups)];
    const int age_days = rng.Between(ages[0] * 365 + 1, ages[1] * 365 + 364);
    identity.birth_date = db::DateTime::FromOrdinalDays(today.OrdinalDays() - age_days);
  }
  return identity;
}

}  // namespace tabulor::schema
