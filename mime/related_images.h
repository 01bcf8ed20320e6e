// A converted message that carries its images: an HTML text whose tags refer to images as
// parts (cid:) stands in a multipart/related entity with one part for each image it shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The Content-IDs of images of ours that html refers to, each once, in order of first use.
void FindImageReferences(std::string_view html, std::vector<std::string>& ids);

// Each image as a part of a multipart/related body: its delimiter line, its header lines
// (image/gif, base64, its Content-ID, inline with its file name) and its base64 lines. A
// message carries each image once: those in carried already are left out, the others added.
void AppendImageParts(std::string& out, const std::vector<std::string>& ids, std::string_view delimiter,
                      std::vector<std::string>& carried);

// A new boundary for a multipart/related entity of ours.
[[nodiscard]] std::string MakeRelatedBoundary();

// The Content-Type line of a multipart/related entity around an HTML text.
[[nodiscard]] std::string RelatedContentType(std::string_view boundary);
