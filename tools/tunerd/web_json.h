// JSON in and out of the web API: every answer an object with a message, every body read without
// exceptions and refused with a 400 that says why.
#pragma once

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <string>

namespace tunerd {

using Json = nlohmann::json;

// The answer: body (an object) with its message, and the status.
void answerJson(httplib::Response& response, int status, Json body, const std::string& message);

// The request's body as a JSON object; false, with a 400 answered, when it is none.
bool readJsonObject(const httplib::Request& request, httplib::Response& response, Json& body);

// A member of body that must be a string without NUL bytes (or, where numbers are taken, a
// whole number, given as its text); false, with a 400 answered, when it is missing or of
// another type.
bool stringMember(const Json& body, const char* name, httplib::Response& response,
                  std::string& value);
bool booleanMember(const Json& body, const char* name, bool fallback, httplib::Response& response,
                   bool& value);
bool wholeMember(const Json& body, const char* name, int low, int high, int fallback,
                 httplib::Response& response, int& value);

}  // namespace tunerd
