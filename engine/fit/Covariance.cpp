#include "engine/fit/Covariance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "engine/Messages.h"
#include "engine/model/GValue.h"

namespace ravelle::fit {

namespace {

constexpr double kNotDeterminedCondition = 1e-10;
const double kInfinity = std::numeric_limits<double>::infinity();

} // namespace

Covariance covarianceOf(Eigen::MatrixXd jacobian, double variance)
{
    const Eigen::Index p = jacobian.cols();
    const Eigen::VectorXd norm = jacobian.colwise().norm().transpose();
    const Eigen::VectorXd scale = (norm.array() > 0).select(norm, 1.0);
    for (Eigen::Index k = 0; k < p; ++k)
        jacobian.col(k) /= scale[k];
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(jacobian, Eigen::ComputeThinV);
    const Eigen::VectorXd singular = svd.singularValues();
    const double largest = singular.size() ? singular[0] : 0.0;
    Covariance covariance{Eigen::MatrixXd::Zero(p, p), std::vector<bool>(static_cast<std::size_t>(p), true)};
    for (Eigen::Index k = 0; k < p; ++k) {
        const double s = singular[k];
        const auto direction = svd.matrixV().col(k);
        if (s > 0 && s > kNotDeterminedCondition * largest) {
            covariance.matrix += direction * direction.transpose() / (s * s);
            continue;
        }
        for (Eigen::Index j = 0; j < p; ++j)
            if (std::abs(direction[j]) > 1e-6)
                covariance.determined[static_cast<std::size_t>(j)] = false;
    }
    for (Eigen::Index k = 0; k < p; ++k)
        if (norm[k] == 0)
            covariance.determined[static_cast<std::size_t>(k)] = false;
    covariance.matrix = variance * scale.asDiagonal().inverse() * covariance.matrix * scale.asDiagonal().inverse();
    return covariance;
}

double rmsOf(const Eigen::VectorXd& residual)
{
    return residual.size() == 0 ? 0.0 : residual.norm() / std::sqrt(static_cast<double>(residual.size()));
}

void recordFitted(const FitProblem& problem, const Layout& layout, Curve& curve, const ModelValues& values,
                  const Pass& pass, Covariance fitted, FitResult& result)
{
    const auto p = static_cast<int>(fitted.matrix.cols());
    const Eigen::MatrixXd& covariance = fitted.matrix;
    std::vector<bool>& determined = fitted.determined;
    const auto uncertainty = [&](Eigen::Index k) {
        return determined[static_cast<std::size_t>(k)] ? std::sqrt(std::max(covariance(k, k), 0.0)) : kInfinity;
    };
    // An uncertainty in gauss wider than the display range determines nothing either.
    const double range = std::abs(problem.displayRange);
    const auto inGaussTooWide = [&](Eigen::Index k, FitParameterKind kind) {
        if (isInGauss(kind) && uncertainty(k) > range)
            determined[static_cast<std::size_t>(k)] = false;
    };

    std::vector<std::string> undetermined;
    Eigen::Index k = 0;
    // Records column k for the parameters it stands for: their value and
    // uncertainty, and its name when the data leave it undetermined.
    const auto record = [&](const std::vector<std::size_t>& members, double value, double error,
                            std::string name) {
        for (const std::size_t member : members) {
            result.values[member].value = value;
            result.values[member].uncertainty = error;
        }
        if (!determined[static_cast<std::size_t>(k)])
            undetermined.push_back(std::move(name));
        ++k;
    };
    const auto box = [&](std::optional<std::size_t> index) { return problem.parameters[*index].box; };
    // The spectrum shows neither the sign of a coupling nor that of a sigma:
    // a value that went through zero is given with the sign it started with.
    const auto signedAsStart = [](double value, double start) { return std::copysign(std::abs(value), start); };
    for (std::size_t g = 0; g < layout.sets.size(); ++g) {
        inGaussTooWide(k, FitParameterKind::Coupling);
        record(layout.sets[g].members, signedAsStart(values.set[g], layout.sets[g].start), uncertainty(k),
               namesOf(problem, layout.sets[g]));
    }
    for (std::size_t q = 0; q < layout.quantities.size(); ++q) {
        const ShapeQuantity& quantity = layout.quantities[q];
        inGaussTooWide(k, quantity.kind);
        const double value = quantity.kind == FitParameterKind::Sigma ? signedAsStart(values.quantity[q], quantity.start)
                                                                      : values.quantity[q];
        record({quantity.parameter}, value, uncertainty(k), box(quantity.parameter));
    }
    const Eigen::Index modelColumns = k;
    if (pass.varyCentre) {
        inGaussTooWide(k, FitParameterKind::Centre);
        const double error = uncertainty(k);
        record({*layout.centre}, values.centre, error, box(layout.centre));
        if (problem.frequencyGHz && values.centre > 0) {
            result.gValue = model::gValueAt(values.centre, *problem.frequencyGHz);
            result.gUncertainty = *result.gValue * error / values.centre;
        }
    } else if (problem.frequencyGHz) {
        const double centre = valueOf(problem, layout.centre, 0.0);
        if (centre > 0)
            result.gValue = model::gValueAt(centre, *problem.frequencyGHz);
    }
    if (pass.varyAmplitude) {
        // Scl = amplitude * height / 2, the height depending on the model
        // columns: its variance by the propagation of the covariance.
        Normalisation norm;
        curve.prepare(values, 0.0, pass.columns());
        curve.normalisation(true, norm, nullptr);
        Eigen::VectorXd gradient = Eigen::VectorXd::Zero(p);
        for (Eigen::Index c = 0; c < modelColumns; ++c)
            gradient[c] = values.amplitude * norm.dColumn[static_cast<std::size_t>(c)] / 2;
        gradient[k] = norm.height / 2;
        bool known = true;
        for (Eigen::Index j = 0; j < p; ++j)
            if (gradient[j] != 0 && !determined[static_cast<std::size_t>(j)])
                known = false;
        record({*layout.scale}, values.amplitude * norm.height / 2,
               known ? std::sqrt(std::max(gradient.dot(covariance * gradient), 0.0)) : kInfinity, box(layout.scale));
    }
    if (pass.varyOffset)
        record({*layout.offset}, values.offset, uncertainty(k), box(layout.offset));
    if (pass.varySlope)
        record({*layout.slope}, values.slope, uncertainty(k), box(layout.slope));
    result.outcome = FitOutcome::Converged;
    if (!undetermined.empty())
        result.message = messages::fitUndetermined(joined(undetermined));
}

} // namespace ravelle::fit
