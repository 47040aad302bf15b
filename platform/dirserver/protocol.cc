#include "protocol.h"

#include <lber.h>

#include <memory>

namespace ombrel {
namespace {

struct BerDeleter {
  void operator()(BerElement* ber) const { ber_free(ber, 1); }
};
using BerPtr = std::unique_ptr<BerElement, BerDeleter>;

constexpr int kMaxFilterDepth = 64;

bool getString(BerElement* ber, std::string* out) {
  berval bv{0, nullptr};
  if (ber_get_stringbv(ber, &bv, LBER_BV_NOTERM) == LBER_DEFAULT)
    return false;
  out->assign(bv.bv_val == nullptr ? "" : bv.bv_val, bv.bv_len);
  return true;
}

bool getInt(BerElement* ber, int* out) {
  ber_int_t value = 0;
  if (ber_get_int(ber, &value) == LBER_DEFAULT)
    return false;
  *out = value;
  return true;
}

bool openSequence(BerElement* ber) {
  ber_len_t len = 0;
  return ber_skip_tag(ber, &len) != LBER_DEFAULT;
}

// Calls each(ber) for every element of the SEQUENCE OF / SET OF at hand.
template <typename Each>
bool forEachElement(BerElement* ber, Each each) {
  ber_len_t len = 0;
  char* last = nullptr;
  for (ber_tag_t tag = ber_first_element(ber, &len, &last); tag != LBER_DEFAULT;
       tag = ber_next_element(ber, &len, last)) {
    if (!each(ber))
      return false;
  }
  return true;
}

bool getStringSet(BerElement* ber, std::vector<std::string>* out) {
  return forEachElement(ber, [out](BerElement* b) {
    std::string value;
    if (!getString(b, &value))
      return false;
    out->push_back(std::move(value));
    return true;
  });
}

bool decodeFilter(BerElement* ber, Filter* filter, int depth) {
  if (depth > kMaxFilterDepth)
    return false;
  ber_len_t len = 0;
  ber_tag_t tag = ber_peek_tag(ber, &len);
  switch (tag) {
    case 0xa0:
    case 0xa1:
      filter->kind = tag == 0xa0 ? Filter::kAnd : Filter::kOr;
      return forEachElement(ber, [filter, depth](BerElement* b) {
        filter->children.emplace_back();
        return decodeFilter(b, &filter->children.back(), depth + 1);
      });
    case 0xa2:
      filter->kind = Filter::kNot;
      filter->children.emplace_back();
      return openSequence(ber) && decodeFilter(ber, &filter->children.back(), depth + 1);
    case 0xa3:
    case 0xa5:
    case 0xa6:
    case 0xa8:
      filter->kind = tag == 0xa3   ? Filter::kEquality
                     : tag == 0xa5 ? Filter::kGreaterOrEqual
                     : tag == 0xa6 ? Filter::kLessOrEqual
                                   : Filter::kApprox;
      return openSequence(ber) && getString(ber, &filter->attribute) &&
             getString(ber, &filter->value);
    case 0xa4:
      filter->kind = Filter::kSubstrings;
      if (!openSequence(ber) || !getString(ber, &filter->attribute))
        return false;
      return forEachElement(ber, [filter](BerElement* b) {
        ber_len_t part_len = 0;
        ber_tag_t part = ber_peek_tag(b, &part_len);
        std::string value;
        if (!getString(b, &value))
          return false;
        if (part == 0x80 && !filter->has_initial && filter->any.empty() && !filter->has_final) {
          filter->has_initial = true;
          filter->initial = std::move(value);
        } else if (part == 0x81 && !filter->has_final) {
          filter->any.push_back(std::move(value));
        } else if (part == 0x82 && !filter->has_final) {
          filter->has_final = true;
          filter->final_part = std::move(value);
        } else {
          return false;
        }
        return true;
      });
    case 0x87:
      filter->kind = Filter::kPresent;
      return getString(ber, &filter->attribute);
    case 0xa9: {
      filter->kind = Filter::kExtensible;
      berval skipped{0, nullptr};
      return ber_skip_element(ber, &skipped) != LBER_DEFAULT;
    }
    default:
      return false;
  }
}

bool decodeSearch(BerElement* ber, Request* request) {
  SearchParams& search = request->search;
  ber_int_t scope = 0;
  ber_int_t deref = 0;
  ber_int_t size_limit = 0;
  ber_int_t time_limit = 0;
  ber_int_t types_only = 0;
  if (!openSequence(ber) || !getString(ber, &search.base) ||
      ber_get_enum(ber, &scope) == LBER_DEFAULT || ber_get_enum(ber, &deref) == LBER_DEFAULT ||
      ber_get_int(ber, &size_limit) == LBER_DEFAULT ||
      ber_get_int(ber, &time_limit) == LBER_DEFAULT ||
      ber_get_boolean(ber, &types_only) == LBER_DEFAULT) {
    return false;
  }
  if (scope < kScopeBase || scope > kScopeSubtree || size_limit < 0)
    return false;
  request->dn = search.base;
  search.scope = scope;
  search.size_limit = size_limit;
  search.types_only = types_only != 0;
  return decodeFilter(ber, &search.filter, 0) && getStringSet(ber, &search.attributes);
}

bool decodeAttributeList(BerElement* ber, Request* request) {
  return forEachElement(ber, [request](BerElement* b) {
    Attribute attr;
    if (!openSequence(b) || !getString(b, &attr.name) || !getStringSet(b, &attr.values)) {
      return false;
    }
    request->attributes.push_back(std::move(attr));
    return true;
  });
}

bool decodeChanges(BerElement* ber, Request* request) {
  return forEachElement(ber, [request](BerElement* b) {
    Change change;
    ber_int_t op = 0;
    if (!openSequence(b) || ber_get_enum(b, &op) == LBER_DEFAULT || op < 0 || op > 2 ||
        !openSequence(b) || !getString(b, &change.type) || !getStringSet(b, &change.values)) {
      return false;
    }
    change.op = static_cast<Change::Op>(op);
    request->changes.push_back(std::move(change));
    return true;
  });
}

bool decodeOperation(BerElement* ber, unsigned tag, Request* request) {
  switch (tag) {
    case kBindRequest: {
      ber_len_t len = 0;
      if (!openSequence(ber) || !getInt(ber, &request->version) || !getString(ber, &request->dn)) {
        return false;
      }
      request->simple = ber_peek_tag(ber, &len) == 0x80;
      return !request->simple || getString(ber, &request->password);
    }
    case kUnbindRequest:
      return ber_get_null(ber) != LBER_DEFAULT;
    case kSearchRequest:
      return decodeSearch(ber, request);
    case kModifyRequest:
      return openSequence(ber) && getString(ber, &request->dn) && decodeChanges(ber, request);
    case kAddRequest:
      return openSequence(ber) && getString(ber, &request->dn) && decodeAttributeList(ber, request);
    case kDelRequest:
      return getString(ber, &request->dn);
    case kModDnRequest: {
      ber_int_t delete_old = 0;
      ber_len_t len = 0;
      if (!openSequence(ber) || !getString(ber, &request->dn) ||
          !getString(ber, &request->new_rdn) || ber_get_boolean(ber, &delete_old) == LBER_DEFAULT) {
        return false;
      }
      request->delete_old_rdn = delete_old != 0;
      if (ber_peek_tag(ber, &len) == 0x80) {
        std::string superior;
        if (!getString(ber, &superior))
          return false;
        request->new_superior = std::move(superior);
      }
      return true;
    }
    case kCompareRequest:
      return openSequence(ber) && getString(ber, &request->dn) && openSequence(ber) &&
             getString(ber, &request->assertion_type) && getString(ber, &request->assertion_value);
    case kAbandonRequest:
      return getInt(ber, &request->abandon_id);
    case kExtendedRequest: {
      ber_len_t len = 0;
      if (!openSequence(ber) || ber_peek_tag(ber, &len) != 0x80 || !getString(ber, &request->oid)) {
        return false;
      }
      if (ber_peek_tag(ber, &len) == 0x81) {
        std::string value;
        if (!getString(ber, &value))
          return false;
        request->value = std::move(value);
      }
      return true;
    }
    default:
      return false;
  }
}

std::string flatten(BerElement* ber) {
  berval bv{0, nullptr};
  if (ber_flatten2(ber, &bv, 0) != 0)
    return "";
  return std::string(bv.bv_val, bv.bv_len);
}

BerPtr newEncoder() {
  return BerPtr(ber_alloc_t(LBER_USE_DER));
}

}  // namespace

int decodeRequest(std::string_view pdu, Request* request) {
  berval bv{pdu.size(), const_cast<char*>(pdu.data())};
  BerPtr ber(ber_init(&bv));
  if (!ber)
    return -1;
  ber_len_t len = 0;
  if (ber_skip_tag(ber.get(), &len) != 0x30 || !getInt(ber.get(), &request->message_id) ||
      request->message_id < 0) {
    return -1;
  }
  ber_tag_t tag = ber_peek_tag(ber.get(), &len);
  if (tag == LBER_DEFAULT)
    return -1;
  request->tag = static_cast<unsigned>(tag);
  return decodeOperation(ber.get(), request->tag, request) ? 0 : -1;
}

std::string encodeResult(int message_id, unsigned response_tag, const OpResult& result) {
  BerPtr ber = newEncoder();
  if (!ber || ber_printf(ber.get(), "{it{ess}}", message_id, static_cast<ber_tag_t>(response_tag),
                         result.code, result.matched_dn.c_str(), result.message.c_str()) < 0) {
    return "";
  }
  return flatten(ber.get());
}

std::string encodeExtendedResult(int message_id, const OpResult& result,
                                 const std::string& response_oid) {
  BerPtr ber = newEncoder();
  if (!ber ||
      ber_printf(ber.get(), "{it{ess", message_id, static_cast<ber_tag_t>(kExtendedResponse),
                 result.code, result.matched_dn.c_str(), result.message.c_str()) < 0) {
    return "";
  }
  if (!response_oid.empty() &&
      ber_printf(ber.get(), "ts", static_cast<ber_tag_t>(0x8a), response_oid.c_str()) < 0) {
    return "";
  }
  if (ber_printf(ber.get(), "N}N}") < 0)
    return "";
  return flatten(ber.get());
}

std::string encodeSearchEntry(int message_id, const FoundEntry& entry) {
  BerPtr ber = newEncoder();
  if (!ber ||
      ber_printf(ber.get(), "{it{o{", message_id, static_cast<ber_tag_t>(kSearchResultEntry),
                 entry.dn.data(), static_cast<ber_len_t>(entry.dn.size())) < 0) {
    return "";
  }
  for (const Attribute& attr : entry.attributes) {
    if (ber_printf(ber.get(), "{o[", attr.name.data(), static_cast<ber_len_t>(attr.name.size())) <
        0) {
      return "";
    }
    for (const std::string& value : attr.values) {
      if (ber_printf(ber.get(), "o", value.data(), static_cast<ber_len_t>(value.size())) < 0) {
        return "";
      }
    }
    if (ber_printf(ber.get(), "N]N}") < 0)
      return "";
  }
  if (ber_printf(ber.get(), "N}N}N}") < 0)
    return "";
  return flatten(ber.get());
}

unsigned responseTagFor(unsigned request_tag) {
  switch (request_tag) {
    case kBindRequest:
      return kBindResponse;
    case kSearchRequest:
      return kSearchResultDone;
    case kModifyRequest:
      return kModifyResponse;
    case kAddRequest:
      return kAddResponse;
    case kDelRequest:
      return kDelResponse;
    case kModDnRequest:
      return kModDnResponse;
    case kCompareRequest:
      return kCompareResponse;
    case kExtendedRequest:
      return kExtendedResponse;
    default:
      return 0;
  }
}

}  // namespace ombrel
