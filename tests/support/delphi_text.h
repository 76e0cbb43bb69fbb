// Golden number texts come from Free Pascal's run-time library in Delphi
// mode. The one place where it is known to differ from the player's
// general real format: the player writes 1E-5 <= |x| < 1E-4 in
// exponent form ("0.0001" but "1E-5"), Free Pascal in fixed notation.
#pragma once
#include <string>

inline std::string PlayerGeneralFromFpc(const std::string& fpc) {
    std::string sign, s = fpc;
    if (!s.empty() && s[0] == '-') {
        sign = "-";
        s = s.substr(1);
    }
    if (s.rfind("0.0000", 0) != 0 || s.size() < 7 || s[6] == '0') return fpc;
    std::string digits = s.substr(6);
    std::string r = sign + digits.substr(0, 1);
    if (digits.size() > 1) r += "." + digits.substr(1);
    return r + "E-5";
}
