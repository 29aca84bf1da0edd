#include "engine/fit/Refine.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ravelle::fit {

namespace {

// Marquardt's damping, relative to the diagonal of J^T J: where it starts,
// and how far it may fall.
constexpr double kFirstDamping = 1e-4;
constexpr double kLeastDamping = 1e-12;

} // namespace

bool streamed(PassRows& rows, std::size_t count, const ModelValues& values, bool derivatives, int parameters,
              Factor& out, const WorkTick& tick)
{
    if (!rows.at(values, derivatives))
        return false;
    const Eigen::Index p = parameters;
    out.rss = 0.0;
    out.r = Eigen::MatrixXd::Zero(p, p);
    out.qtr = Eigen::VectorXd::Zero(p);
    Eigen::VectorXd residual;
    Eigen::MatrixXd jacobian;
    Eigen::MatrixXd stacked;
    Eigen::VectorXd rhs;
    // A block of the curve's own size: its Jacobian stays a few megabytes.
    const std::size_t blockPoints = rows.blockPoints();
    for (std::size_t begin = 0; begin < count; begin += blockPoints) {
        const std::size_t end = std::min(count, begin + blockPoints);
        const auto m = static_cast<Eigen::Index>(end - begin);
        residual.resize(m);
        if (derivatives)
            jacobian.resize(m, p);
        if (!rows.rows(begin, end, residual.data(), derivatives ? &jacobian : nullptr))
            return false;
        out.rss += residual.squaredNorm();
        if (derivatives) {
            // [R; J_block] = Q' R' and [Q^T r; r_block] rotated alike.
            stacked.resize(p + m, p);
            stacked.topRows(p) = out.r;
            stacked.bottomRows(m) = jacobian;
            rhs.resize(p + m);
            rhs.head(p) = out.qtr;
            rhs.tail(m) = residual;
            const Eigen::HouseholderQR<Eigen::Ref<Eigen::MatrixXd>> qr(stacked);
            rhs.applyOnTheLeft(qr.householderQ().adjoint());
            out.r = qr.matrixQR().topRows(p).triangularView<Eigen::Upper>();
            out.qtr = rhs.head(p);
        }
        if (tick)
            tick(static_cast<double>(end) / static_cast<double>(count));
    }
    return true;
}

Refined refine(Curve& curve, const Pass& pass, ModelValues& values, const std::atomic<bool>& cancel, int mostSteps,
               double tolerance, const RefineWatch& watch)
{
    Refined out;
    const int p = parameterCount(pass);
    const std::size_t n = pass.size();
    PassRows rows(curve, pass, cancel);
    if (!streamed(rows, n, values, true, p, out.factor, watch.tick)) {
        out.stop = rows.stop();
        return out;
    }
    Eigen::VectorXd x = PassFunctor::pack(values, pass);
    double damping = kFirstDamping;
    for (int step = 0; step < mostSteps; ++step) {
        const Eigen::MatrixXd& r = out.factor.r;
        const Eigen::VectorXd& qtr = out.factor.qtr;
        const Eigen::MatrixXd normal = r.transpose() * r;
        const Eigen::VectorXd scale = (normal.diagonal().array() > 0).select(normal.diagonal(), 1.0);
        Eigen::MatrixXd damped = normal;
        damped.diagonal() += damping * scale;
        const Eigen::VectorXd delta = damped.ldlt().solve(-(r.transpose() * qtr));
        // What the step would save were the model linear: nothing worth a
        // pass over every point means the minimum has been reached.
        const double saving = qtr.squaredNorm() - (r * delta + qtr).squaredNorm();
        if (!(saving > tolerance * out.factor.rss)) {
            out.end = RefineEnd::Converged;
            return out;
        }
        const Eigen::VectorXd next = x + delta;
        const ModelValues trial = PassFunctor::unpack(values, pass, next);
        Factor at;
        if (!streamed(rows, n, trial, true, p, at, watch.tick)) {
            if (rows.stop() == Stop::OutOfRange) {
                damping *= 10;
                continue;
            }
            out.stop = rows.stop();
            return out;
        }
        if (!(at.rss < out.factor.rss)) {
            damping *= 10;
            continue;
        }
        const double drop = (out.factor.rss - at.rss) / out.factor.rss;
        const bool small = ((delta.array().abs()) <= tolerance * (next.array().abs() + tolerance)).all();
        x = next;
        values = trial;
        out.factor = std::move(at);
        damping = std::max(damping / 10, kLeastDamping);
        if (auto away = watch.accepted(values, out.factor.rss)) {
            out.runAway = std::move(*away);
            return out;
        }
        if (drop <= tolerance || small) {
            out.end = RefineEnd::Converged;
            return out;
        }
    }
    out.end = RefineEnd::NotConverged;
    return out;
}

} // namespace ravelle::fit
