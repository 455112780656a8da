#include "report/timeline.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace report {

namespace {

using supervise::State;

// A band being gathered: whole units from first to last.
struct Gathering
{
    long first = 0;
    long last = -1;
    std::size_t count = 0;
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;
    std::size_t row = 0; // its first drawing's
};

class LaneLayout
{
public:
    LaneLayout(const Account& account, std::size_t lane, double scale, std::vector<Shape>& out)
        : m_account(account), m_lane(lane), m_scale(scale), m_out(out)
    {
    }

    void add(std::size_t rowIndex)
    {
        const Row& row = m_account.rows[rowIndex];
        const double x0 = double(row.beginMs - m_account.startMs) * m_scale;
        const double x1 = double(std::max(row.endMs, row.beginMs) - m_account.startMs) * m_scale;
        if (x1 - x0 >= 1.0) {
            m_large.push_back(block(rowIndex, x0, x1 - x0));
            return;
        }
        const long first = static_cast<long>(std::floor(x0));
        const long last = std::max(first, static_cast<long>(std::ceil(x1)) - 1);
        if (!m_group.empty() && first > m_groupLast + 1)
            flush();
        m_group.push_back({rowIndex, first, last});
        m_groupLast = m_group.size() == 1 ? last : std::max(m_groupLast, last);
    }

    void finish()
    {
        flush();
        // Done first: the rest is drawn over it.
        const auto byState = [](const Shape& a, const Shape& b) {
            return (a.state == State::Done) > (b.state == State::Done);
        };
        std::stable_sort(m_shapes.begin(), m_shapes.end(), byState);
        std::stable_sort(m_large.begin(), m_large.end(), byState);
        m_out.insert(m_out.end(), m_shapes.begin(), m_shapes.end());
        m_out.insert(m_out.end(), m_large.begin(), m_large.end());
    }

private:
    struct Small
    {
        std::size_t row;
        long first, last;
    };

    Shape block(std::size_t rowIndex, double x, double width) const
    {
        const Row& row = m_account.rows[rowIndex];
        Shape shape;
        shape.kind = Shape::Kind::Block;
        shape.lane = m_lane;
        shape.state = row.state;
        shape.x = x;
        shape.width = width;
        shape.row = rowIndex;
        shape.fromMs = row.beginMs;
        shape.toMs = row.endMs;
        return shape;
    }

    void flush()
    {
        if (m_group.size() == 1) {
            m_shapes.push_back(block(m_group.front().row, double(m_group.front().first), 1.0));
        } else if (!m_group.empty()) {
            std::array<Gathering, stateCount> bands{};
            for (const Small& small : m_group) {
                const Row& row = m_account.rows[small.row];
                Gathering& band = bands[static_cast<std::size_t>(row.state)];
                if (band.count > 0 && small.first > band.last + 1) {
                    addBand(band, row.state);
                    band = {};
                }
                if (band.count == 0) {
                    band.row = small.row;
                    band.first = small.first;
                    band.fromMs = row.beginMs;
                }
                band.last = std::max(band.last, small.last);
                band.toMs = std::max(band.toMs, row.endMs);
                ++band.count;
            }
            for (std::size_t state = 0; state < bands.size(); ++state) {
                if (bands[state].count > 0)
                    addBand(bands[state], static_cast<State>(state));
            }
        }
        m_group.clear();
    }

    void addBand(const Gathering& band, State state)
    {
        if (band.count == 1) {
            m_shapes.push_back(block(band.row, double(band.first), double(band.last - band.first + 1)));
            return;
        }
        Shape shape;
        shape.kind = Shape::Kind::Band;
        shape.lane = m_lane;
        shape.state = state;
        shape.x = double(band.first);
        shape.width = double(band.last - band.first + 1);
        shape.count = band.count;
        shape.fromMs = band.fromMs;
        shape.toMs = band.toMs;
        m_shapes.push_back(shape);
    }

    const Account& m_account;
    std::size_t m_lane;
    double m_scale;
    std::vector<Shape>& m_out;
    std::vector<Small> m_group;
    long m_groupLast = -1;
    std::vector<Shape> m_shapes; // small ones: blocks a unit wide and bands
    std::vector<Shape> m_large;
};

} // namespace

std::vector<Shape> timelineShapes(const Account& account, double width)
{
    std::vector<std::vector<std::size_t>> lanes(account.lanes.size());
    for (std::size_t i = 0; i < account.rows.size(); ++i) {
        const Row& row = account.rows[i];
        if (row.lane != Row::noLane && row.beginMs != 0)
            lanes[row.lane].push_back(i);
    }
    const double span = double(std::max<std::int64_t>(account.endMs - account.startMs, 1));
    const double scale = width / span;
    std::vector<Shape> shapes;
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
        std::vector<std::size_t>& rows = lanes[lane];
        std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
            return account.rows[a].beginMs < account.rows[b].beginMs;
        });
        LaneLayout layout(account, lane, scale, shapes);
        for (const std::size_t row : rows)
            layout.add(row);
        layout.finish();
    }
    return shapes;
}

} // namespace report
