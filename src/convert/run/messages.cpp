#include "convert/run/messages.h"

#include "io/status.h"

namespace rowsmith {

std::string ReadFailedText(std::string_view path, int error) {
    return ReadFailedText(path, StatusText(error));
}

std::string ReadFailedText(std::string_view path, std::string_view reason) {
    std::string text = "Cannot read \"";
    text.append(path).append("\": ").append(reason);
    return text;
}

std::string Sentence(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text + ".";
}

std::string MismatchText(std::uint64_t rows, std::uint64_t firstLine, std::size_t fieldCount,
                         std::string (*number)(std::uint64_t)) {
    std::string text = number != nullptr ? number(rows) : std::to_string(rows);
    text += rows == 1 ? " line has" : " lines have";
    text += " a number of values other than the " + std::to_string(fieldCount) + " field name";
    text += fieldCount == 1 ? "" : "s";
    text += rows == 1 ? ": line " : "; the first is line ";
    text += std::to_string(firstLine) + ". Its statement will fail to load.";
    if (rows != 1)
        text.replace(text.size() - std::string_view("Its statement will fail to load.").size(), std::string::npos,
                     "Their statements will fail to load.");
    return text;
}

}  // namespace rowsmith
