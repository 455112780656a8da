#include "widgets/standinuser.h"

namespace {

StandInUser*& installed()
{
    static StandInUser* user = nullptr;
    return user;
}

} // namespace

StandInUser::StandInUser() : m_replaced(installed())
{
    installed() = this;
}

StandInUser::~StandInUser()
{
    installed() = m_replaced;
}

StandInUser* StandInUser::current()
{
    return installed();
}
