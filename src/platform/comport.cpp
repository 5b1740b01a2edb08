#include "platform/comport.h"

void TComPort::DeliverRxChar(int count) {
    ++deliveryDepth_;
    emit RxChar(count);
    --deliveryDepth_;
}

void TComPort::DeliverErrors(ComErrors errors) {
    ++deliveryDepth_;
    emit LineError(errors);
    --deliveryDepth_;
}
