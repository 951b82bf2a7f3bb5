#include "link/LinkHarness.h"

#include "astro/Astro.h"

namespace kv7::test {

double longitudeForExactLst(const UtcTime& t, double lst)
{
    const double g = greenwichSiderealTime(julianDate(t.year, t.month, t.day, t.hour, t.minute, t.second));
    double longitude = (lst - g) * 15.0;
    for (int i = 0; i < 200; ++i) {
        const double got = g + longitude / 15.0;
        if (got == lst)
            return longitude;
        longitude = std::nextafter(longitude, got < lst ? 1e9 : -1e9);
    }
    ADD_FAILURE() << "no longitude gives an LST of exactly " << lst;
    return longitude;
}

}  // namespace kv7::test
