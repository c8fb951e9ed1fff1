#include "report_pages.h"

#include <array>
#include <cstdio>

namespace kestrix {
namespace {

// Cells per row of the map's grid on the page.
constexpr int32_t kMapColumns = 128;

const char* KindWord(const std::string& kind)
{
    if (kind == "picture")
        return "картинка";
    if (kind == "sound")
        return "звук";
    if (kind == "application")
        return "приложение";
    return "файл";
}

const char* StatusWord(const std::string& status)
{
    if (status == "complete")
        return "целое";
    if (status == "truncated")
        return "обрезано";
    if (status == "damaged")
        return "повреждено";
    return "не проверено";
}

const char* MapClassWord(MapClass kind)
{
    switch (kind) {
    case MapClass::Erased: return "стёртая память";
    case MapClass::Data: return "данные";
    case MapClass::Facts: return "сведения о прошивке";
    case MapClass::Picture: return "картинки";
    case MapClass::Sound: return "звуки";
    case MapClass::Application: return "приложения";
    case MapClass::File: return "файлы";
    }
    return "";
}

std::string Colour(MapClass kind)
{
    const std::array<uint8_t, 3> rgb = MapColour(kind);
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
    return text;
}

// The map as SVG: the cells row after row, each run of one class in a row one
// rectangle, and a legend of the classes.
std::string MapSvg(const FlashMap& map)
{
    const int32_t cells = map.CellCount();
    const int32_t rows = std::max<int32_t>(1, (cells + kMapColumns - 1) / kMapColumns);
    std::string svg = "<svg class=\"map\" viewBox=\"0 0 " + std::to_string(kMapColumns) + " " + std::to_string(rows) +
                      "\" preserveAspectRatio=\"none\" shape-rendering=\"crispEdges\" role=\"img\">";
    svg += "<title>Карта флеш-памяти: " + std::to_string(map.CellBytes) + " байт в клетке</title>";
    for (int32_t at = 0; at < cells;) {
        const int32_t row = at / kMapColumns;
        const int32_t rowEnd = std::min(cells, (row + 1) * kMapColumns);
        int32_t end = at + 1;
        while (end < rowEnd && map.Classes[static_cast<std::size_t>(end)] == map.Classes[static_cast<std::size_t>(at)])
            ++end;
        svg += "<rect x=\"" + std::to_string(at - row * kMapColumns) + "\" y=\"" + std::to_string(row) + "\" width=\"" +
               std::to_string(end - at) + "\" height=\"1\" fill=\"" +
               Colour(map.Classes[static_cast<std::size_t>(at)]) + "\"/>";
        at = end;
    }
    svg += "</svg><ul class=\"legend\">";
    for (int k = 0; k < kMapClassCount; ++k) {
        const auto kind = static_cast<MapClass>(k);
        svg += "<li><span style=\"background:" + Colour(kind) + "\"></span>" + MapClassWord(kind) + "</li>";
    }
    return svg + "</ul>";
}

// What the page shows of an item beside its row: a picture's thumbnail, a
// sound's player, an application's icon and name.
std::string Preview(const ReportItem& item)
{
    std::string html;
    if (item.Kind == "picture" && item.Status == "complete" && !item.File.empty())
        html += "<a href=\"" + UrlPath(item.File) + "\"><img class=\"thumb\" loading=\"lazy\" alt=\"\" src=\"" +
                UrlPath(item.File) + "\"></a>";
    if (!item.Wav.empty())
        html += "<audio controls preload=\"none\" src=\"" + UrlPath(item.Wav) + "\"></audio>";
    if (!item.Icon.empty())
        html += "<img class=\"icon\" alt=\"\" src=\"" + UrlPath(item.Icon) + "\">";
    if (!item.Title.empty())
        html += "<span class=\"title\">" + MarkupEscaped(item.Title) + "</span>";
    return html;
}

std::string Cell(const std::string& html)
{
    return "<td>" + html + "</td>";
}

constexpr const char* kStyle = R"(
body{font-family:"DejaVu Sans",Arial,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.5em}
table{border-collapse:collapse}th,td{border:1px solid #ccc;padding:.2em .5em;text-align:left;vertical-align:middle}
td.n{text-align:right;font-variant-numeric:tabular-nums}
td{white-space:nowrap}
table.facts th{background:#f3f3f3}
#items th{background:#e8eef7;cursor:pointer;user-select:none;position:sticky;top:0}
#items th.up::after{content:" ▲"}#items th.down::after{content:" ▼"}
code{font-size:.8em;white-space:nowrap}
svg.map{width:100%;max-width:768px;height:384px;border:1px solid #999;display:block}
ul.legend{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:1em}
ul.legend span{display:inline-block;width:1em;height:1em;margin-right:.3em;border:1px solid #666;vertical-align:middle}
img.thumb{width:48px;height:48px;object-fit:contain;image-rendering:pixelated;vertical-align:middle}
img.icon{max-width:32px;max-height:32px;vertical-align:middle;margin-right:.3em}
audio{height:2em;vertical-align:middle}
.filter{margin:.5em 0}.filter input{width:20em}
)";

constexpr const char* kScript = R"(
(function(){
var table=document.getElementById('items'),body=table.tBodies[0],rows=Array.prototype.slice.call(body.rows);
var text=document.getElementById('filter'),kind=document.getElementById('kind'),count=document.getElementById('count');
function key(row,c,num){var cell=row.cells[c];return num?Number(cell.getAttribute('data-v')):cell.textContent.toLowerCase();}
function filter(){var t=text.value.toLowerCase(),k=kind.value,shown=0;
 rows.forEach(function(r){var on=(!k||r.getAttribute('data-kind')===k)&&(!t||r.textContent.toLowerCase().indexOf(t)>=0);
  r.style.display=on?'':'none';if(on)shown++;});
 count.textContent='Показано: '+shown+' из '+rows.length;}
Array.prototype.forEach.call(table.tHead.rows[0].cells,function(th,c){
 th.addEventListener('click',function(){var num=th.getAttribute('data-num')!==null,up=!th.classList.contains('up');
  Array.prototype.forEach.call(th.parentNode.cells,function(h){h.classList.remove('up','down');});
  th.classList.add(up?'up':'down');
  rows.sort(function(a,b){var x=key(a,c,num),y=key(b,c,num);return (x<y?-1:x>y?1:0)*(up?1:-1);});
  rows.forEach(function(r){body.appendChild(r);});});});
text.addEventListener('input',filter);kind.addEventListener('change',filter);filter();
})();
)";

}  // namespace

std::string MarkupEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string UrlPath(std::string_view path)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<uint8_t>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
        }
    }
    return out;
}

std::string ReportHtml(const ReportImage& image, const FlashMap& map, const std::vector<ReportItem>& items)
{
    std::string html = "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\"><title>Отчёт Kestrix: " +
                       MarkupEscaped(image.Name) + "</title><style>" + kStyle + "</style></head><body>\n";
    html += "<h1>Отчёт Kestrix: " + MarkupEscaped(image.Name) + "</h1>\n<h2>Образ</h2>\n<table class=\"facts\">";
    html += "<tr><th>Файл образа</th><td>" + MarkupEscaped(image.Name) + "</td></tr>";
    html += "<tr><th>Размер</th><td>" + std::to_string(image.Size) + " байт</td></tr>";
    for (const auto& [caption, value] : image.Facts)
        html += "<tr><th>" + MarkupEscaped(caption) + "</th><td>" + MarkupEscaped(value) + "</td></tr>";
    html += "<tr><th>SHA-256</th><td><code>" + image.Digests.Sha256 + "</code></td></tr>";
    html += "<tr><th>MD5</th><td><code>" + image.Digests.Md5 + "</code></td></tr></table>\n";
    html += "<h2>Карта флеш-памяти</h2>\n" + MapSvg(map) + "\n";
    html += "<h2>Найденное содержимое</h2>\n<div class=\"filter\"><input id=\"filter\" type=\"search\" "
            "placeholder=\"Найти в таблице\"> <select id=\"kind\"><option value=\"\">Все виды</option>"
            "<option value=\"picture\">Картинки</option><option value=\"sound\">Звуки</option>"
            "<option value=\"application\">Приложения</option><option value=\"file\">Файлы</option></select> "
            "<span id=\"count\"></span></div>\n";
    html += "<table id=\"items\"><thead><tr><th data-num>№</th><th>Название</th><th>Просмотр</th><th>Вид</th><th>Тип</th>"
            "<th data-num>Начало</th><th data-num>Конец</th><th data-num>Размер</th><th>Состояние</th>"
            "<th>SHA-256</th></tr></thead><tbody>\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ReportItem& item = items[i];
        const std::string caption = MarkupEscaped(item.Caption);
        html += "<tr data-kind=\"" + MarkupEscaped(item.Kind) + "\"><td class=\"n\" data-v=\"" + std::to_string(i + 1) +
                "\">" + std::to_string(i + 1) + "</td>";
        html += Cell(item.File.empty() ? caption : "<a href=\"" + UrlPath(item.File) + "\">" + caption + "</a>");
        html += Cell(Preview(item)) + Cell(KindWord(item.Kind)) + Cell(MarkupEscaped(item.Type));
        for (const int64_t value : {int64_t{item.Start}, int64_t{item.End}, item.Size()})
            html += "<td class=\"n\" data-v=\"" + std::to_string(value) + "\">" + std::to_string(value) + "</td>";
        html += Cell(StatusWord(item.Status)) + Cell("<code>" + item.Sha256 + "</code>");
        html += "</tr>\n";
    }
    html += "</tbody></table>\n<script>" + std::string(kScript) + "</script>\n</body></html>\n";
    return html;
}

std::string ReportCsv(const std::vector<ReportItem>& items)
{
    const auto quoted = [](std::string_view text) {
        std::string field = "\"";
        if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@'))
            field += '\'';
        for (const char c : text) {
            field += c;
            if (c == '"')
                field += '"';
        }
        return field + "\"";
    };
    std::string csv = "\xEF\xBB\xBF\"Название\",\"Вид\",\"Тип\",\"Начало\",\"Конец\",\"Размер\",\"Состояние\","
                      "\"SHA-256\",\"Файл\"\r\n";
    for (const ReportItem& item : items) {
        csv += quoted(item.Caption) + "," + quoted(KindWord(item.Kind)) + "," + quoted(item.Type) + ",";
        csv += std::to_string(item.Start) + "," + std::to_string(item.End) + "," + std::to_string(item.Size()) + ",";
        csv += quoted(StatusWord(item.Status)) + "," + quoted(item.Sha256) + "," + quoted(item.File) + "\r\n";
    }
    return csv;
}

std::string ReportDfxml(const ReportImage& image, const std::vector<ReportItem>& items, std::string_view program,
                        std::string_view version)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<dfxml xmloutputversion=\"1.0\" version=\"1.2.0\" "
                      "xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\" "
                      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    xml += "  <metadata><dc:type>Carve Report</dc:type></metadata>\n";
    xml += "  <creator><program>" + MarkupEscaped(program) + "</program><version>" + MarkupEscaped(version) +
           "</version></creator>\n";
    xml += "  <source><image_filename>" + MarkupEscaped(image.Name) + "</image_filename><image_size>" +
           std::to_string(image.Size) + "</image_size><hashdigest type=\"sha256\">" + image.Digests.Sha256 +
           "</hashdigest><hashdigest type=\"md5\">" + image.Digests.Md5 + "</hashdigest></source>\n";
    for (const ReportItem& item : items) {
        xml += "  <fileobject><filename>" + MarkupEscaped(item.File.empty() ? item.Caption : item.File) +
               "</filename><filesize>" + std::to_string(item.Size()) +
               "</filesize><byte_runs><byte_run file_offset=\"0\" img_offset=\"" + std::to_string(item.Start) +
               "\" len=\"" + std::to_string(item.Size()) + "\"/></byte_runs><hashdigest type=\"sha256\">" +
               item.Sha256 + "</hashdigest></fileobject>\n";
    }
    return xml + "</dfxml>\n";
}

}  // namespace kestrix
