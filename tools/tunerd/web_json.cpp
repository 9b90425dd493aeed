#include "web_json.h"

namespace tunerd {

void answerJson(httplib::Response& response, int status, Json body, const std::string& message) {
  body["message"] = message;
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace),
                       "application/json");
}

bool readJsonObject(const httplib::Request& request, httplib::Response& response, Json& body) {
  body = Json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    answerJson(response, 400, Json::object(), "the body is not a JSON object: nothing was sent");
    return false;
  }
  return true;
}

bool stringMember(const Json& body, const char* name, httplib::Response& response,
                  std::string& value) {
  const auto found = body.find(name);
  if (found != body.end() && found->is_string() &&
      found->get<std::string>().find('\0') == std::string::npos) {
    value = found->get<std::string>();
    return true;
  }
  if (found != body.end() && found->is_number_unsigned()) {
    value = std::to_string(found->get<unsigned long long>());
    return true;
  }
  answerJson(response, 400, Json::object(),
             std::string("\"") + name +
                 "\" must be given as a string without NUL bytes: nothing was sent");
  return false;
}

bool booleanMember(const Json& body, const char* name, bool fallback, httplib::Response& response,
                   bool& value) {
  const auto found = body.find(name);
  if (found == body.end() || found->is_boolean()) {
    value = found == body.end() ? fallback : found->get<bool>();
    return true;
  }
  answerJson(response, 400, Json::object(),
             std::string("\"") + name + "\" must be true or false: nothing was sent");
  return false;
}

bool wholeMember(const Json& body, const char* name, int low, int high, int fallback,
                 httplib::Response& response, int& value) {
  const auto found = body.find(name);
  if (found == body.end()) {
    value = fallback;
    return true;
  }
  if (found->is_number_integer() && found->get<long long>() >= low &&
      found->get<long long>() <= high) {
    value = static_cast<int>(found->get<long long>());
    return true;
  }
  answerJson(response, 400, Json::object(),
             std::string("\"") + name + "\" must be a whole number from " + std::to_string(low) +
                 " to " + std::to_string(high) + ": nothing was sent");
  return false;
}

}  // namespace tunerd
