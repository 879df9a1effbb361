// Banker's rounding (ties to even) for every "nearest", and a fixed-point
// number with four decimals held as a 64-bit count of ten-thousandths.
#pragma once
#include <cstdint>
#include <string>

// Nearest integer, ties to even. Values outside the 64-bit range saturate; NaN gives 0.
int64_t RoundHalfEven(double v);
// v rounded to `decimals` places (0..8), ties to even, computed in fixed point.
double RoundTo(double v, int decimals);

class TFixed4 {
public:
    constexpr TFixed4() = default;
    static constexpr TFixed4 FromRaw(int64_t raw) { TFixed4 f; f.raw_ = raw; return f; }
    // The nearest fixed value (ties to even).
    static TFixed4 FromDouble(double v);
    static constexpr TFixed4 FromInt(int64_t v) { return FromRaw(v * 10000); }

    int64_t Raw() const { return raw_; }
    double ToDouble() const { return static_cast<double>(raw_) / 10000.0; }
    // Rounded to `decimals` places (0..4), ties to even.
    TFixed4 Rounded(int decimals) const;
    // Plain text with exactly `decimals` places ("1.20"), ties to even.
    std::string ToString(int decimals) const;

    TFixed4 operator+(TFixed4 o) const { return FromRaw(raw_ + o.raw_); }
    TFixed4 operator-(TFixed4 o) const { return FromRaw(raw_ - o.raw_); }
    TFixed4 operator*(TFixed4 o) const;   // product rounded to four places
    TFixed4 operator/(TFixed4 o) const;   // quotient rounded to four places; throws on zero
    TFixed4& operator+=(TFixed4 o) { raw_ += o.raw_; return *this; }
    TFixed4& operator-=(TFixed4 o) { raw_ -= o.raw_; return *this; }
    auto operator<=>(const TFixed4&) const = default;

private:
    int64_t raw_ = 0;
};
