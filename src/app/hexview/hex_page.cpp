#include "hex_page.h"

#include "extraction.h"
#include "hex_view.h"
#include "map_strip.h"
#include "offset_text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrix {
namespace {

// Cells of the map beside the view: finer than any screen shows.
constexpr int64_t kMapCells = 4096;
// Bytes measured for the map between two turns of the event loop.
constexpr int64_t kMapStepBytes = int64_t{8} << 20;
// The most bytes "Копировать как hex" puts on the clipboard.
constexpr int64_t kMostCopiedBytes = int64_t{16} << 20;

QString ClassName(MapClass kind)
{
    switch (kind) {
    case MapClass::Erased: return QStringLiteral("стёртая флеш-память");
    case MapClass::Data: return QStringLiteral("данные");
    case MapClass::Facts: return QStringLiteral("сведения о прошивке");
    case MapClass::Picture: return QStringLiteral("картинка");
    case MapClass::Sound: return QStringLiteral("звук");
    case MapClass::Application: return QStringLiteral("приложение");
    case MapClass::File: return QStringLiteral("файл телефона");
    }
    return {};
}

}  // namespace

HexPage::HexPage(TCustomHexBuffer& buffer, QWidget* parent) : QWidget(parent), m_buffer(buffer)
{
    BuildLayout();
    m_mapTimer = new QTimer(this);
    m_mapTimer->setInterval(0);
    connect(m_mapTimer, &QTimer::timeout, this, &HexPage::StepMap);
    RefreshImage();
}

HexPage::~HexPage() = default;

void HexPage::BuildLayout()
{
    const Tools tools = BuildTools();
    LayOut(tools);
    ConnectTools(tools);
}

HexPage::Tools HexPage::BuildTools()
{
    m_view = new HexView(this);
    m_view->setObjectName(QStringLiteral("HexView"));
    m_strip = new MapStrip(this);
    m_strip->setObjectName(QStringLiteral("FlashMap"));
    m_strip->setToolTip(QStringLiteral("Карта образа"));

    m_findText = new QLineEdit(this);
    m_findText->setPlaceholderText(QStringLiteral("Найти…"));
    m_findText->setClearButtonEnabled(true);
    m_findEncoding = new QComboBox(this);
    m_findEncoding->addItems({QStringLiteral("hex"), QStringLiteral("Windows-1251"), QStringLiteral("UTF-8"),
                              QStringLiteral("UTF-16LE"), QStringLiteral("UTF-16BE")});
    m_textMode = new QComboBox(this);
    m_textMode->addItems(
        {QStringLiteral("Текст: Windows-1251"), QStringLiteral("Текст: UTF-16LE"), QStringLiteral("Текст: UTF-16BE")});
    m_status = new QLabel(this);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hover = new QLabel(this);

    auto button = [this](const QString& text, const QString& tip) {
        auto* tool = new QToolButton(this);
        tool->setText(text);
        if (!tip.isEmpty())
            tool->setToolTip(tip);
        return tool;
    };
    Tools tools;
    tools.Previous = button(QStringLiteral("◀"), QStringLiteral("Найти предыдущее (Shift+F3)"));
    tools.Next = button(QStringLiteral("▶"), QStringLiteral("Найти следующее (F3, Enter)"));
    tools.GoTo = button(QStringLiteral("Перейти…"), QStringLiteral("Перейти к смещению (Ctrl+G)"));
    tools.Copy = button(QStringLiteral("Копировать как hex"), QString());
    tools.Save = button(QStringLiteral("Сохранить выделенное…"), QString());
    return tools;
}

void HexPage::LayOut(const Tools& tools)
{
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(m_findText, 1);
    findRow->addWidget(m_findEncoding);
    findRow->addWidget(tools.Previous);
    findRow->addWidget(tools.Next);
    auto* toolRow = new QHBoxLayout;
    toolRow->addWidget(m_textMode);
    toolRow->addWidget(tools.GoTo);
    toolRow->addWidget(tools.Copy);
    toolRow->addWidget(tools.Save);
    toolRow->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_view, 1);
    middle->addWidget(m_strip);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(findRow);
    layout->addLayout(toolRow);
    layout->addLayout(middle, 1);
    layout->addWidget(m_status);
    layout->addWidget(m_hover);
}

void HexPage::ConnectTools(const Tools& tools)
{
    auto shortcut = [this](const QKeySequence& keys, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        m_findText->setFocus();
        m_findText->selectAll();
    });
    shortcut(QKeySequence(Qt::Key_F3), [this] { FindNext(); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindPrevious(); });
    connect(tools.GoTo, &QToolButton::clicked, this, &HexPage::AskGoTo);
    connect(m_findText, &QLineEdit::returnPressed, this, [this] { FindNext(); });
    connect(tools.Next, &QToolButton::clicked, this, [this] { FindNext(); });
    connect(tools.Previous, &QToolButton::clicked, this, [this] { FindPrevious(); });
    connect(tools.Copy, &QToolButton::clicked, this, &HexPage::CopyAsHex);
    connect(tools.Save, &QToolButton::clicked, this, [this] {
        const QString path =
            AskSavePath ? AskSavePath() : QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить выделенное"));
        if (!path.isEmpty())
            SaveSelection(path);
    });
    connect(m_textMode, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_view->SetTextMode(static_cast<HexTextMode>(index)); });
    connect(m_view, &HexView::SelectionChanged, this, &HexPage::ShowSelection);
    connect(m_view, &HexView::Hovered, this, &HexPage::ShowHover);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        const int64_t start = m_view->TopRow() * HexViewModel::kBytesPerRow;
        m_strip->SetViewRange(start, start + int64_t{m_view->VisibleRows()} * HexViewModel::kBytesPerRow);
    });
    connect(m_strip, &MapStrip::OffsetChosen, this, &HexPage::ChooseOnMap);
    m_view->DescribeItem = [this](const HexItem& item) { return ItemCaption ? ItemCaption(item) : QString(); };
    m_strip->DescribeOffset = [this](int64_t offset) { return MapHoverText(offset); };
}

void HexPage::RefreshImage()
{
    m_shownImage = m_buffer.Data();
    m_shownSize = m_buffer.DataSize();
    m_view->SetImage(m_buffer.Bytes());
    m_strip->SetMap({});
    m_mapImage = nullptr;
    m_builder = std::make_unique<FlashMapBuilder>(m_buffer.Bytes(), kMapCells);
    m_mapTimer->start();
    ShowSelection();
}

void HexPage::StepMap()
{
    if (!m_builder) {
        m_mapTimer->stop();
        return;
    }
    // The buffer's block is replaced by a load; a map begun on the old one is dropped.
    if (m_buffer.Data() != m_shownImage || m_buffer.DataSize() != m_shownSize) {
        RefreshImage();
        return;
    }
    if (!m_builder->Step(kMapStepBytes))
        return;
    m_mapTimer->stop();
    m_map = m_builder->Take();
    m_builder.reset();
    m_mapImage = m_shownImage;
    PaintMap();
}

void HexPage::PaintMap()
{
    if (m_builder)
        return;
    PaintMapItems(m_map, m_mapItems);
    m_strip->SetMap(m_map);
}

void HexPage::SetItems(std::vector<HexItem> items)
{
    m_mapItems.clear();
    m_mapItems.reserve(items.size());
    for (const HexItem& item : items)
        m_mapItems.push_back({item.Start, item.End, item.Class});
    m_view->SetItems(std::move(items));
    PaintMap();
}

void HexPage::ShowRange(int64_t start, int64_t end)
{
    m_view->Highlight(start, end);
    std::vector<HexMark> marks = EntryHeaderFields(m_buffer.Bytes(), start);
    // The entry's header comes before its data: show it first.
    if (!marks.empty())
        m_view->Reveal(marks.front().Start);
    m_view->SetMarks(std::move(marks));
}

void HexPage::Say(const QString& text)
{
    m_hover->setText(text);
}

void HexPage::ShowSelection()
{
    const HexViewModel& model = m_view->Model();
    if (model.Size() == 0) {
        m_status->setText(QStringLiteral("Образ не открыт"));
        return;
    }
    const QString selection = SelectionText(model, m_view->SelectionStart(), m_view->SelectionEnd(), m_view->Cursor());
    m_status->setText(selection + QStringLiteral(" · ") + CursorValuesText(model, m_view->Cursor()));
}

void HexPage::ShowHover(qint64 offset)
{
    if (offset < 0)
        return;
    const HexItem* item = m_view->Items().ItemAt(offset);
    QString text = m_view->Model().OffsetText(offset);
    if (item != nullptr && ItemCaption)
        text += QStringLiteral(": ") + ItemCaption(*item);
    Say(text);
}

void HexPage::AskGoTo()
{
    const QString text = AskOffset ? AskOffset()
                                   : QInputDialog::getText(this, QStringLiteral("Перейти к смещению"),
                                                           QStringLiteral("Смещение (1234, 0x4D2 или 4D2h):"));
    if (!text.isEmpty())
        GoToText(text);
}

bool HexPage::GoToText(const QString& text)
{
    const ParsedOffset parsed = ParseOffsetText(text.toStdString(), m_buffer.DataSize());
    switch (parsed.Error) {
    case OffsetTextError::None:
        m_view->GoTo(parsed.Offset);
        m_view->setFocus();
        return true;
    case OffsetTextError::Empty: Say(QStringLiteral("Смещение не указано")); break;
    case OffsetTextError::NotANumber:
        Say(QStringLiteral("«%1» — не смещение: нужно 1234, 0x4D2 или 4D2h").arg(text.trimmed()));
        break;
    case OffsetTextError::OutOfRange:
        Say(QStringLiteral("Смещение %1 за концом образа (%2 байт)").arg(text.trimmed()).arg(m_buffer.DataSize()));
        break;
    }
    return false;
}

void HexPage::SetFindEncoding(FindEncoding encoding)
{
    m_findEncoding->setCurrentIndex(static_cast<int>(encoding));
}

bool HexPage::FindNext()
{
    return RunFind(true);
}

bool HexPage::FindPrevious()
{
    return RunFind(false);
}

bool HexPage::RunFind(bool forward)
{
    if (m_finding || m_buffer.DataSize() == 0)
        return false;
    if (Busy && Busy()) {
        Say(QStringLiteral("Идёт поиск по образу: найти байты можно после него"));
        return false;
    }
    const auto encoding = static_cast<FindEncoding>(m_findEncoding->currentIndex());
    const std::optional<std::vector<uint8_t>> needle = FindNeedle(m_findText->text().toStdString(), encoding);
    if (!needle) {
        Say(encoding == FindEncoding::Hex ? QStringLiteral("Нужны пары шестнадцатеричных цифр, например 4D 6F")
                                          : QStringLiteral("Этот текст нельзя записать в выбранной кодировке"));
        return false;
    }
    const uint8_t* image = m_buffer.Data();
    const int32_t size = m_buffer.DataSize();
    ScanHooks hooks;
    // The window answers between the slices; a load in the meantime ends the find.
    hooks.KeepGoing = [this, image, size] {
        QCoreApplication::processEvents();
        return m_buffer.Data() == image && m_buffer.DataSize() == size;
    };
    m_finding = true;
    Say(QStringLiteral("Поиск…"));
    // After a match (a selection) the next find starts one byte into it, so
    // overlapping matches are found too; without one it starts at the cursor.
    const int64_t selStart = m_view->SelectionStart();
    const bool selected = m_view->SelectionEnd() > selStart;
    const SlicedFindResult result =
        forward ? FindNextMatch(m_buffer, *needle, static_cast<int32_t>(selected ? selStart + 1 : selStart), hooks)
                : FindPreviousMatch(m_buffer, *needle, static_cast<int32_t>(selStart), hooks);
    m_finding = false;
    if (result.Stopped || m_buffer.Data() != image) {
        Say(QStringLiteral("Поиск прерван"));
        return false;
    }
    if (result.Offset < 0) {
        Say(forward ? QStringLiteral("Дальше не найдено") : QStringLiteral("Раньше не найдено"));
        return false;
    }
    m_view->Select(result.Offset, result.Offset + static_cast<int64_t>(needle->size()));
    Say(QStringLiteral("Найдено в %1").arg(m_view->Model().OffsetText(result.Offset)));
    return true;
}

void HexPage::CopyAsHex()
{
    const int64_t start = m_view->SelectionStart();
    const int64_t end = m_view->SelectionEnd();
    if (end <= start) {
        Say(QStringLiteral("Ничего не выделено"));
        return;
    }
    if (end - start > kMostCopiedBytes) {
        Say(QStringLiteral("Выделено больше 16 МиБ: сохраните выделенное в файл"));
        return;
    }
    QApplication::clipboard()->setText(
        BytesAsHex(m_buffer.Bytes().subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start))));
    Say(QStringLiteral("Скопировано %1 байт как hex").arg(end - start));
}

bool HexPage::SaveSelection(const QString& path)
{
    const int64_t start = m_view->SelectionStart();
    const int64_t end = m_view->SelectionEnd();
    if (end <= start) {
        Say(QStringLiteral("Ничего не выделено"));
        return false;
    }
    try {
        WriteRangeToFileAtomically(m_buffer, QFile::encodeName(path).toStdString(), static_cast<int32_t>(start),
                                   static_cast<int32_t>(end - start));
    } catch (const std::exception& e) {
        Say(QStringLiteral("Не сохранено: %1").arg(QString::fromLocal8Bit(e.what())));
        return false;
    }
    Say(QStringLiteral("Сохранено %1 байт в %2").arg(end - start).arg(path));
    return true;
}

const HexItem* HexPage::ItemInCell(int64_t offset) const
{
    const HexItemIndex& index = m_view->Items();
    if (const HexItem* item = index.ItemAt(offset))
        return item;
    const int64_t cellEnd = m_map.CellCount() > 0 ? offset + m_map.CellBytes : offset + 1;
    const std::vector<HexItem>& items = index.Items();
    const auto after = std::lower_bound(items.begin(), items.end(), offset,
                                        [](const HexItem& item, int64_t value) { return item.Start < value; });
    if (after != items.end() && after->Start < cellEnd)
        return &*after;
    return nullptr;
}

void HexPage::ChooseOnMap(int64_t offset)
{
    if (const HexItem* item = ItemInCell(offset))
        m_view->Select(item->Start, item->End);
    else
        m_view->GoTo(offset);
    m_view->setFocus();
}

QString HexPage::MapHoverText(int64_t offset) const
{
    QString text = m_view->Model().OffsetText(offset);
    if (const HexItem* item = ItemInCell(offset)) {
        if (ItemCaption)
            text += QStringLiteral(": ") + ItemCaption(*item);
    } else if (m_map.CellCount() > 0) {
        text += QStringLiteral(": ") + ClassName(m_map.Classes[static_cast<std::size_t>(m_map.CellOf(offset))]);
    }
    return text;
}

void HexPage::SetHexOffsets(bool value)
{
    m_view->SetHexOffsets(value);
}

}  // namespace kestrix
