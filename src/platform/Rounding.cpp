#include "platform/Rounding.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <limits>

#include "platform/Exceptions.h"

int64_t RoundHalfEven(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (v <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    double fl = std::floor(v);
    double diff = v - fl;
    int64_t r = static_cast<int64_t>(fl);
    if (diff > 0.5 || (diff == 0.5 && (r & 1)))
        ++r;
    return r;
}

// a / b rounded to nearest with ties to even, for b > 0.
static int64_t DivHalfEven(int64_t a, int64_t b)
{
    int64_t q = a / b, r = a % b;
    if (r < 0) {
        --q;
        r += b;
    }
    int64_t twice = 2 * r;
    if (twice > b || (twice == b && (q & 1)))
        ++q;
    return q;
}

static const int64_t kPow10[] = {1, 10, 100, 1000, 10000};

// The nearest count of 10^-decimals units to the value's shortest decimal form,
// ties to even: 1.35 (held as 1.3500000000000000888) is an exact tie.
static bool DecimalUnits(double v, int decimals, int64_t& out)
{
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed);
    if (r.ec != std::errc())
        return false;
    std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
    size_t dot = text.find('.');
    std::string_view ip = text.substr(0, dot);
    std::string_view fp = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (ip.size() + static_cast<size_t>(decimals) > 18)
        return false;
    int64_t units = 0;
    for (char c : ip)
        units = units * 10 + (c - '0');
    for (int i = 0; i < decimals; ++i)
        units = units * 10 + (static_cast<size_t>(i) < fp.size() ? fp[static_cast<size_t>(i)] - '0' : 0);
    std::string_view rest = fp.size() > static_cast<size_t>(decimals) ? fp.substr(static_cast<size_t>(decimals)) : std::string_view();
    if (!rest.empty()) {
        bool tie = rest[0] == '5' && rest.find_first_not_of('0', 1) == std::string_view::npos;
        if (rest[0] > '5' || (rest[0] == '5' && !tie) || (tie && (units & 1)))
            ++units;
    }
    out = v < 0 ? -units : units;
    return true;
}

TFixed4 TFixed4::FromDouble(double v)
{
    int64_t units;
    if (std::isfinite(v) && DecimalUnits(v, 4, units))
        return FromRaw(units);
    return FromRaw(RoundHalfEven(v * 10000.0));
}

TFixed4 TFixed4::Rounded(int decimals) const
{
    if (decimals >= 4)
        return *this;
    if (decimals < 0)
        decimals = 0;
    int64_t unit = kPow10[4 - decimals];
    return FromRaw(DivHalfEven(raw_, unit) * unit);
}

std::string TFixed4::ToString(int decimals) const
{
    if (decimals > 4)
        decimals = 4;
    if (decimals < 0)
        decimals = 0;
    int64_t units = DivHalfEven(raw_, kPow10[4 - decimals]);
    bool neg = units < 0;
    uint64_t u = neg ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    uint64_t scale = static_cast<uint64_t>(kPow10[decimals]);
    std::string out = (neg ? "-" : "") + std::to_string(u / scale);
    if (decimals > 0) {
        std::string frac = std::to_string(u % scale);
        out += '.' + std::string(static_cast<size_t>(decimals) - frac.size(), '0') + frac;
    }
    return out;
}

// Ties to even on an 80-bit long double (exact for the magnitudes used here).
static int64_t RoundLongHalfEven(long double v)
{
    long double fl = floorl(v);
    long double diff = v - fl;
    int64_t r = static_cast<int64_t>(fl);
    if (diff > 0.5L || (diff == 0.5L && (r & 1)))
        ++r;
    return r;
}

TFixed4 TFixed4::operator*(TFixed4 o) const
{
    // Exact when the product fits 64 bits; otherwise the nearest long double.
    int64_t p;
    if (!__builtin_mul_overflow(raw_, o.raw_, &p))
        return FromRaw(DivHalfEven(p, 10000));
    return FromRaw(RoundLongHalfEven(static_cast<long double>(raw_) * o.raw_ / 10000.0L));
}

TFixed4 TFixed4::operator/(TFixed4 o) const
{
    if (o.raw_ == 0)
        throw Exception("Division by zero");
    int64_t n;
    if (!__builtin_mul_overflow(raw_, int64_t(10000), &n)) {
        int64_t d = o.raw_;
        if (d < 0) {
            n = -n;
            d = -d;
        }
        return FromRaw(DivHalfEven(n, d));
    }
    return FromRaw(RoundLongHalfEven(static_cast<long double>(raw_) * 10000.0L / o.raw_));
}

double RoundTo(double v, int decimals)
{
    if (!std::isfinite(v))
        return v;
    if (decimals < 0)
        decimals = 0;
    if (decimals > 8)
        decimals = 8;
    int64_t units;
    double scale = std::pow(10.0, decimals);
    if (DecimalUnits(v, decimals, units))
        return static_cast<double>(units) / scale;
    return static_cast<double>(RoundHalfEven(v * scale)) / scale;
}
