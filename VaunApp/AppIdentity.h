#pragma once
// The one application ID the desktop knows the program by: it names the desktop entry, the
// icon, the AppStream component and the session-bus name; the object path follows from it.
#include <QLatin1StringView>

namespace vaun::identity {

inline constexpr QLatin1StringView applicationID{"com.zorel.Vaun"};
inline constexpr QLatin1StringView objectPath{"/com/zorel/Vaun"};
inline constexpr QLatin1StringView applicationInterface{"org.freedesktop.Application"};
inline constexpr QLatin1StringView organizationName{"ZOREL"};
inline constexpr QLatin1StringView organizationDomain{"zorel.com"};
inline constexpr QLatin1StringView applicationName{"Vaun"};

} // namespace vaun::identity
