// A converted message that carries its images: an HTML text whose tags refer to images as
// parts (cid:) stands in a multipart/related entity that carries each image it shows. A mail
// client looks a reference up within that entity only, so each such entity carries its own
// images, under Content-IDs of its own: the first one of a message under the IDs the tags
// give, each later one with its number after the image's name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct RelatedImages {
    std::vector<std::string> ids;  // the Content-IDs its HTML refers to, each once, in order
    int number = 0;                // its number in the message; 0 before it has one
};

// Every reference of ours in text from from on, renamed for images' entity (which is given
// the message's next number, after last, when it has none), added to images.
void TakeImageReferences(std::string& text, size_t from, RelatedImages& images, int& last);

// Each image as a part of a multipart/related body: its delimiter line, its header lines
// (image/gif, base64, its Content-ID, inline with its file name) and its base64 lines; the
// bytes appended.
size_t AppendImageParts(std::string& out, const std::vector<std::string>& ids, std::string_view delimiter);

// Whether a header line of the message (a part's included, folded or not) gives a Content-ID
// of the form of ours: the images of ours could not be told from the sender's.
[[nodiscard]] bool HoldsImageContentId(std::string_view message);

// The Content-Type line of a multipart/related entity around an HTML text.
[[nodiscard]] std::string RelatedContentType(std::string_view boundary);
