#include "script/KelFormat.h"

namespace KelFormat {

namespace {

class TFormatter {
public:
    TFormatter(std::string_view format, const TFormatArg* args, size_t count) : Fmt(format), Args(args), Count(count) {}

    bool Run(std::string& out) {
        while (Pos < Fmt.size()) {
            // The literal text up to the next directive, at once.
            size_t next = Fmt.find('%', Pos);
            if (next == std::string_view::npos) next = Fmt.size();
            out.append(Fmt.data() + Pos, next - Pos);
            Pos = next;
            if (Pos == Fmt.size()) break;
            ++Pos;
            if (!Directive(out)) return false;
        }
        return true;
    }

private:
    bool AtEnd() const { return Pos >= Fmt.size(); }
    char Peek() const { return Fmt[Pos]; }

    // A decimal number or "*"; has is false when neither stands here. False when the number
    // passes the cap or "*" has no integer argument.
    bool Number(bool& has, int32_t& value) {
        has = false;
        value = 0;
        if (AtEnd()) return true;
        if (Peek() == '*') {
            ++Pos;
            if (ArgIndex >= Count || !Args[ArgIndex].IsInteger) return false;
            value = Args[ArgIndex++].Integer;
            has = true;
            return value <= kMaxField;
        }
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
            value = value * 10 + (Peek() - '0');
            if (value > kMaxField) return false;
            has = true;
            ++Pos;
        }
        return true;
    }

    bool Directive(std::string& out) {
        if (AtEnd()) return false;
        if (Peek() == '%') {
            ++Pos;
            out.push_back('%');
            return true;
        }
        bool has = false, left = false;
        int32_t n = 0, width = -1, precision = -1;
        if (!Number(has, n)) return false;
        if (!AtEnd() && Peek() == ':') {
            ++Pos;
            if (n < 0) return false;
            ArgIndex = static_cast<size_t>(n);
            has = false;
        }
        if (has) {
            width = n;
        } else {
            if (!AtEnd() && Peek() == '-') {
                ++Pos;
                left = true;
            }
            if (!Number(has, n)) return false;
            if (has) width = n;
        }
        if (!AtEnd() && Peek() == '.') {
            ++Pos;
            if (!Number(has, n)) return false;
            precision = has ? n : 0;
        }
        if (AtEnd() || ArgIndex >= Count) return false;
        char type = Peek();
        ++Pos;
        if (type >= 'A' && type <= 'Z') type = static_cast<char>(type + 32);
        const TFormatArg& arg = Args[ArgIndex++];

        switch (type) {
            case 'd':
            case 'u':
            case 'x': {
                if (!arg.IsInteger) return false;
                bool negative = type == 'd' && arg.Integer < 0;
                uint32_t magnitude = static_cast<uint32_t>(arg.Integer);
                if (negative) magnitude = 0u - magnitude;
                char digits[16];
                const size_t count = Digits(magnitude, type == 'x' ? 16 : 10, digits);
                const size_t zeros =
                    precision > static_cast<int32_t>(count) ? static_cast<size_t>(precision) - count : 0;
                const size_t size = (negative ? 1 : 0) + zeros + count;
                const size_t pad = width > static_cast<int32_t>(size) ? static_cast<size_t>(width) - size : 0;
                if (!left) out.append(pad, ' ');
                if (negative) out.push_back('-');
                out.append(zeros, '0');
                out.append(digits + sizeof digits - count, count);
                if (left) out.append(pad, ' ');
                return true;
            }
            case 's': {
                if (arg.IsInteger) return false;
                std::string_view text = arg.Text;
                if (precision >= 0 && static_cast<size_t>(precision) < text.size())
                    text = text.substr(0, static_cast<size_t>(precision));
                const size_t pad =
                    width > static_cast<int32_t>(text.size()) ? static_cast<size_t>(width) - text.size() : 0;
                if (!left) out.append(pad, ' ');
                out.append(text);
                if (left) out.append(pad, ' ');
                return true;
            }
            default:  // e f g n m p find no argument of their kind; anything else is no type
                return false;
        }
    }

    // The digits of v at the end of the buffer; their count.
    static size_t Digits(uint32_t v, uint32_t base, char (&buffer)[16]) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        size_t n = 0;
        do {
            buffer[sizeof buffer - 1 - n++] = kDigits[v % base];
            v /= base;
        } while (v != 0);
        return n;
    }

    std::string_view Fmt;
    const TFormatArg* Args;
    size_t Count;
    size_t Pos = 0;
    size_t ArgIndex = 0;
};

}  // namespace

bool Format(std::string_view format, const TFormatArg* args, size_t count, std::string& out) {
    out.clear();
    TFormatter f(format, args, count);
    if (f.Run(out)) return true;
    out.clear();
    return false;
}

}  // namespace KelFormat
